#pragma once

#include <QObject>
#include <QString>

class QTimer;
class QWidget;

// Drives an upload as a user would: clicks the panel's upload button, waits for the dialog,
// picks the broker, puts the file in the field as browsing would, and clicks send.
class CUploadDriver : public QObject
{
    Q_OBJECT
public:
    CUploadDriver(QWidget* window, QString file, QString broker, QObject* parent = nullptr);
    // Returns false when the panel shows no upload button.
    bool start();

signals:
    // The dialog could not be driven (no dialog, no such broker); why says what.
    void failed(QString why);

private:
    void fillDialog();
    QWidget* m_window;
    QString m_file;
    QString m_broker;
    QTimer* m_poll = nullptr;
    int m_tries = 0;
};
