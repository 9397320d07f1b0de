#include "upload/creditdatasendfiledialog.h"

#include "scriptedservice.h"
#include "standintoolkit.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <boost/pointer_cast.hpp>

namespace {

// One line per subject, as both sides can say it.
QString subjectLine(const QString& exchange, const QString& code, const QString& name, double ratio)
{
    return QStringLiteral("%1|%2|%3|%4").arg(exchange, code, name).arg(ratio, 0, 'g', 17);
}

} // namespace

class TestCreditDataPreview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { standin::setMessageInterceptor(standin::MessageInterceptor()); }
    void agreesWithDialog_data();
    void agreesWithDialog();

private:
    QStringList m_messages;
    QTemporaryDir m_dir;
};

void TestCreditDataPreview::initTestCase()
{
    standin::setMessageInterceptor([this](const standin::MessageRecord& record) {
        if (record.kind == standin::MessageRecord::ServerMessage)
            m_messages << record.text;
        return int(QMessageBox::Ok);
    });
}

void TestCreditDataPreview::agreesWithDialog_data()
{
    QTest::addColumn<QString>("path");

    const QString source = QString::fromLocal8Bit(qgetenv("SOURCE_DIR"));
    QDir examples(source + QStringLiteral("/examples"));
    for (const QString& name : examples.entryList(QDir::Files))
        QTest::newRow(qPrintable(QStringLiteral("examples/") + name)) << examples.filePath(name);
    // Workbooks from every writer the readers are tried with, hostile ones included.
    QDir workbooks(source + QStringLiteral("/tests/host/toolkit/workbook/data"));
    for (const QString& name : workbooks.entryList(QDir::Files))
        QTest::newRow(qPrintable(QStringLiteral("workbook/") + name)) << workbooks.filePath(name);
    QTest::newRow("nothing usable") << "@none.csv";
}

// The preview's JSON says exactly what the dialog sends for the same file, or the message it shows.
void TestCreditDataPreview::agreesWithDialog()
{
    QFETCH(QString, path);
    if (path.startsWith(QLatin1Char('@'))) {
        QFile file(m_dir.filePath(path.mid(1)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("交易所,代码\nXX,1,x,0.5\n");
        path = file.fileName();
    }

    QProcess preview;
    preview.start(QStringLiteral(PREVIEW_PATH),
                  {path, "--json", "--broker-id", "GX", "--broker-name", "国信证券", "--broker-key", "7"});
    QVERIFY(preview.waitForFinished(60000));
    QJsonParseError error;
    const QJsonObject json = QJsonDocument::fromJson(preview.readAllStandardOutput(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);

    auto service = testsupport::CScriptedService::install();
    m_messages.clear();
    DVK::CCreditDataSendFileDialog dialog(nullptr);
    dialog.setBrokerList({testsupport::makeBaseInfo(7, "GX", "国信证券", "20240112", "20240105")});
    dialog.findChild<QLineEdit*>(QStringLiteral("sendFileEdit"))->setText(path);
    QVERIFY(dialog.handleEvent(5, 402, 0, QString(), nullptr));
    // A bomb takes its reader seconds on a busy machine.
    QTRY_VERIFY_WITH_TIMEOUT(!m_messages.isEmpty() || !service->operations().empty(), 60000);

    QStringList previewed;
    for (const QJsonValue& used : json.value(QStringLiteral("used")).toArray()) {
        const QJsonObject o = used.toObject();
        previewed << subjectLine(o.value("exchangeName").toString(), o.value("stockCode").toString(),
                                 o.value("stockName").toString(), o.value("ratio").toDouble());
    }
    QStringList sent;
    if (!service->operations().empty()) {
        const auto detail = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(
            service->operations().front()->dataList.front());
        QCOMPARE(detail->brokerKeyNo, 7);
        for (const auto& s : detail->subjects) {
            sent << subjectLine(QString::fromStdString(s->exchangeName), QString::fromStdString(s->stockCode),
                                QString::fromStdString(s->stockName), s->ratio);
        }
    }
    QCOMPARE(previewed, sent);
    const QString shown = sent.isEmpty() ? m_messages.value(0) : QString();
    QCOMPARE(json.value(QStringLiteral("message")).toString(), shown);
    const int exitCode = shown.isEmpty() ? 0 : shown == QStringLiteral("无可用数据") ? 3 : 2;
    QCOMPARE(preview.exitCode(), exitCode);
}

QTEST_MAIN(TestCreditDataPreview)
#include "tst_creditdatapreview.moc"
