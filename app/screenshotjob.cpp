#include "screenshotjob.h"

#include "rowbuttonclicker.h"
#include "uploaddriver.h"

#include "standintoolkit.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// The window as a user sees it: its own picture with every open dialog over its middle, where a
// desktop places a dialog (the offscreen screen is too small to tell where that would be).
QPixmap grabWithDialogs(QWidget* window)
{
    QPixmap picture = window->grab();
    QPainter painter(&picture);
    QList<QDialog*> dialogs;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(top);
        if (dialog && dialog->isVisible())
            dialogs << dialog;
    }
    // Message boxes come last: they sit over the dialog that asked for them.
    std::stable_partition(dialogs.begin(), dialogs.end(),
                          [](QDialog* dialog) { return !qobject_cast<QMessageBox*>(dialog); });
    for (QDialog* dialog : dialogs) {
        const QPixmap shot = dialog->grab();
        painter.drawPixmap((picture.width() - shot.width()) / 2, (picture.height() - shot.height()) / 2, shot);
    }
    return picture;
}

} // namespace

CScreenshotJob::CScreenshotJob(QWidget* window, const Settings& settings, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_settings(settings)
{
    const int wait = m_settings.expectsQuery ? m_settings.timeoutMs : 500;
    QTimer::singleShot(wait, this, [this] {
        if (m_settings.expectsQuery)
            finish(false, QStringLiteral("no answer within %1 ms").arg(m_settings.timeoutMs));
        else
            finish(true);
    });
}

void CScreenshotJob::onQueryAnswered(int queryType, bool success)
{
    const bool awaited = (queryType == rqservice::eDataTypeCvionRateBaseInfo && !m_summarySeen) ||
                         (queryType == rqservice::eDataTypeCvionRateDetail && m_settings.detailRow >= 0);
    if (!success && awaited) {
        // The picture is still taken, but a script must not take it for a good one.
        finish(false, QStringLiteral("query %1 failed; the screenshot shows that").arg(queryType));
        return;
    }
    if (queryType == rqservice::eDataTypeCvionRateBaseInfo && !m_summarySeen) {
        m_summarySeen = true;
        if (!m_settings.uploadFile.isEmpty()) {
            startUpload();
            return;
        }
        if (m_settings.detailRow < 0) {
            finish(true);
            return;
        }
        // After the panel has drawn its rows; the click opens the modal detail dialog.
        QTimer::singleShot(0, this, [this] {
            if (!clickRowButton(m_window, m_settings.detailRow, 3, 0))
                finish(false,
                       QStringLiteral("the summary has no row %1 with a query button").arg(m_settings.detailRow));
        });
    } else if (queryType == rqservice::eDataTypeCvionRateDetail && m_settings.detailRow >= 0) {
        finish(true);
    } else if (queryType == rqservice::eDataTypeCvionRateBaseInfo && m_uploadSucceeded) {
        // The refresh after the upload: the summary now shows the new upload date.
        finish(success, success ? QString() : QStringLiteral("the summary after the upload failed"));
    }
}

void CScreenshotJob::startUpload()
{
    auto* driver = new CUploadDriver(m_window, m_settings.uploadFile, m_settings.uploadBroker, this);
    connect(driver, &CUploadDriver::failed, this, [this](const QString& why) { finish(false, why); });
    if (!driver->start())
        finish(false, QStringLiteral("the panel shows no upload button (right 10413 missing?)"));
}

void CScreenshotJob::onMessage(int kind, bool success, const QString& title, const QString& text)
{
    if (m_settings.uploadFile.isEmpty() || m_finished || kind != standin::MessageRecord::ServerMessage)
        return;
    // Shown without waiting, so that the picture holds it.
    auto* box = new QMessageBox(success ? QMessageBox::Information : QMessageBox::Warning, title, text, QMessageBox::Ok,
                                m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
    if (success) {
        m_uploadSucceeded = true;
        return;
    }
    // The dialog stays open under its message; let it paint before the picture.
    QTimer::singleShot(0, this, [this, text] { finish(false, QStringLiteral("upload failed: %1").arg(text)); });
}

void CScreenshotJob::finish(bool ok, const QString& why)
{
    if (m_finished)
        return;
    m_finished = true;
    if (!why.isEmpty())
        std::fprintf(stderr, "demohost: %s\n", qPrintable(why));
    const QFileInfo info(m_settings.path);
    QDir().mkpath(info.absolutePath());
    const bool saved = grabWithDialogs(m_window).save(info.absoluteFilePath(), "PNG");
    if (saved)
        std::printf("screenshot: %s\n", qPrintable(info.absoluteFilePath()));
    else
        std::fprintf(stderr, "demohost: cannot write %s\n", qPrintable(info.absoluteFilePath()));
    std::fflush(stdout);
    // Leaves every event loop, the detail dialog's too.
    QApplication::exit(ok && saved ? 0 : 1);
}
