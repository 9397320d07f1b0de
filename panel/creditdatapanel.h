#pragma once

#include "common/callbackguard.h"
#include "panel/creditdata_export.h"

#include "hosttoolkit.h"

#include <string>
#include <vector>

namespace DVK {

class CCreditDataMainTable;
class CCreditDataQueryDialog;
class CCreditDataSendFileDialog;

// The docked panel: per broker, the state of its conversion-rate data on the server.
class CREDITDATA_EXPORT CCreditDataPanel : public IvoprDockableWidget
{
    Q_OBJECT
public:
    explicit CCreditDataPanel(QWidget* parent = nullptr);
    ~CCreditDataPanel() override;

    // The parameter string is the table's configuration.
    void setParam(const QString& param) override;
    QString param() override;
    void switchSystem(int systemId, QString systemName) override;

    // Sends one broker summary query, if the user may query.
    void request();

signals:
    void sigOnDataCallBack(const std::vector<rqservice::IDataPtr>& records);
    // The number is not read: a failure is shown by its message alone.
    void sigMsgCallBack(int code, QString message);

protected slots:
    void slotOnDataCallBack(const std::vector<rqservice::IDataPtr>& records);
    void slotMsgCallBack(int, QString message);

protected:
    void createUi();
    void paintEvent(QPaintEvent* event) override;
    bool handleEvent(int event, int id, int arg, QString text, void* data) override;
    // Opens the detail dialog for the broker of a row.
    void showData(int brokerKeyNo, std::string brokerId);
    // Runs on a service thread: only logs and emits.
    void onDataCallBack(const utils::RQError& error, const std::vector<rqservice::IDataPtr>& records, int,
                        bson::BSONObj);

    // The client's names for the panel's members; members of our own carry m_.
    WB::CLoadingMaskWidget* loadingMask = nullptr;
    CCreditDataMainTable* table = nullptr;
    CCreditDataQueryDialog* queryDialog = nullptr;
    CCreditDataSendFileDialog* sendFileDialog = nullptr;
    std::vector<rqservice::IDataPtr> records; // the last successful summary answer, as received

private:
    CCallbackGuard m_callbackGuard;
};

} // namespace DVK
