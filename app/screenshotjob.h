#pragma once

#include <QObject>
#include <QString>

class QWidget;

// Headless run of the demo client: waits for the panel's first summary answer (and, when asked,
// opens one broker's detail and waits for that answer too), saves the window with any dialog
// over it as PNG, and ends the application: with 0 only when the picture was saved and every
// answer it waited for was a success.
class CScreenshotJob : public QObject
{
    Q_OBJECT
public:
    struct Settings
    {
        QString path;
        int detailRow = -1;       // summary row whose "查询" button is clicked; -1: none
        bool expectsQuery = true; // false: the panel may not query (no right), take the picture at once
        int timeoutMs = 30000;
        QString uploadFile;   // uploaded through the panel's dialog after the first summary; empty: none
        QString uploadBroker; // empty: the dialog's first broker
    };

    CScreenshotJob(QWidget* window, const Settings& settings, QObject* parent = nullptr);

public slots:
    void onQueryAnswered(int queryType, bool success);
    // A message the client was asked to show; during an upload its outcome ends the job.
    void onMessage(int kind, bool success, const QString& title, const QString& text);

private:
    void finish(bool ok, const QString& why = QString());
    QWidget* m_window;
    Settings m_settings;
    void startUpload();
    bool m_summarySeen = false;
    bool m_uploadSucceeded = false;
    bool m_finished = false;
};
