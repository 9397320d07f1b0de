#pragma once

#include "common/callbackguard.h"

#include "hosttoolkit.h"

#include <boost/shared_ptr.hpp>

#include <atomic>
#include <vector>

namespace DVK {

class CCreditDataQueryTable;

// Lists one broker's per-security conversion ratios, queried when the broker is set.
class CCreditDataQueryDialog : public WB::CCommonDialog
{
    Q_OBJECT
public:
    explicit CCreditDataQueryDialog(QWidget* parent);
    ~CCreditDataQueryDialog() override;

    // Shows this broker from now on and queries its detail at once.
    void setData(boost::shared_ptr<rqservice::CVoprCvionRateBaseInfo> baseInfo);

signals:
    void sigOnDataCallBack(const std::vector<rqservice::IDataPtr>& records);
    // The flag is not read: only failures are sent, and shown by their text alone.
    void sigMsgCallBack(bool success, QString text);

private slots:
    void slotOnDataCallBack(const std::vector<rqservice::IDataPtr>& records);
    void slotMsgCallBack(bool, QString text);

private:
    void createUi();
    void request();
    // Runs on a service thread: only emits.
    void onDataCallBack(const utils::RQError& error, const std::vector<rqservice::IDataPtr>& records, int,
                        bson::BSONObj);

    CCreditDataQueryTable* m_table = nullptr;
    WB::CLoadingMaskWidget* m_loadingMask = nullptr;
    boost::shared_ptr<rqservice::CVoprCvionRateBaseInfo> m_baseInfo;
    // Answers may overtake one another: one to an older request than this is dropped.
    std::atomic<int> m_lastRequest{0};
    CCallbackGuard m_callbackGuard;
};

} // namespace DVK
