#pragma once

#include "common/callbackguard.h"

#include "hosttoolkit.h"

#include <QStringList>

#include <memory>
#include <vector>

namespace DVK {

struct ConversionFileLines;

// Picks a broker and a conversion-rate file, reads the file on a worker thread and uploads its
// rows for that broker. Ends with 1 after a successful upload, 0 when closed.
class CCreditDataSendFileDialog : public WB::CCommonDialog
{
    Q_OBJECT
public:
    explicit CCreditDataSendFileDialog(QWidget* parent);
    ~CCreditDataSendFileDialog() override;

    // The brokers offered, from the panel's last summary; the chosen file stays as it was.
    void setBrokerList(const std::vector<rqservice::IDataPtr>& brokers);

    bool handleEvent(int type, int id, int index, QString key, void* data) override;

    // Reads path into the line list and reports once: sigSendFileData with lines, else
    // sigSendCallBack(false, message). Runs on the calling thread; the send button's worker runs
    // the same read, reaching the dialog only for the hand-over, through the guard.
    void readFile(QString path);

signals:
    void sigSendCallBack(bool ok, QString message);
    void sigSendFileData(QString separator);

public slots:
    void slotSendCallBack(bool ok, QString message);
    void slotSendFileData(QString separator);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void createUi();
    void sendFile();
    // Takes over what a read produced and reports it; a worker reaches it only through the guard.
    void handOverLines(const ConversionFileLines& content);
    // On the GUI thread: the read's lines become m_lines, then the read reports.
    void takeLines(const QStringList& lines, const QString& separator, const QString& message);
    // May run on a service thread: only emits.
    void onSendCallBack(const utils::RQError& error, bson::BSONObj reply);

    std::unique_ptr<WB::CImage> m_image;
    WB::CLoadingMaskWidget* m_loadingMask = nullptr;
    WB::CComboBox* m_brokerCombo = nullptr;
    CSafeLineEdit* m_fileEdit = nullptr;
    std::vector<rqservice::IDataPtr> m_brokers;
    QStringList m_lines;
    CCallbackGuard m_callbackGuard;
};

} // namespace DVK
