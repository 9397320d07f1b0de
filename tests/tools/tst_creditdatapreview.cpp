#include "upload/creditdatasendfiledialog.h"

#include "scriptedservice.h"
#include "standintoolkit.h"

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
    QTest::addColumn<int>("exitCode");

    const QString examples = QString::fromLocal8Bit(qgetenv("SOURCE_DIR")) + QStringLiteral("/examples/");
    QTest::newRow("utf-8 csv") << examples + "rates_utf8.csv" << 0;
    QTest::newRow("gbk csv with crlf") << examples + "rates_gbk.csv" << 0;
    QTest::newRow("xlsx") << examples + "rates.xlsx" << 0;
    QTest::newRow("xls") << examples + "rates.xls" << 0;
    QTest::newRow("refused kind") << examples + "README.md" << 2;
    QTest::newRow("nothing usable") << "@none.csv" << 3;
}

// The preview's JSON says exactly what the dialog sends for the same file, or the message it shows.
void TestCreditDataPreview::agreesWithDialog()
{
    QFETCH(QString, path);
    QFETCH(int, exitCode);
    if (path.startsWith(QLatin1Char('@'))) {
        QFile file(m_dir.filePath(path.mid(1)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("交易所,代码\nXX,1,x,0.5\n");
        path = file.fileName();
    }

    QProcess preview;
    preview.start(QStringLiteral(PREVIEW_PATH),
                  {path, "--json", "--broker-id", "GX", "--broker-name", "国信证券", "--broker-key", "7"});
    QVERIFY(preview.waitForFinished(30000));
    QCOMPARE(preview.exitCode(), exitCode);
    QJsonParseError error;
    const QJsonObject json = QJsonDocument::fromJson(preview.readAllStandardOutput(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);

    auto service = testsupport::CScriptedService::install();
    m_messages.clear();
    DVK::CCreditDataSendFileDialog dialog(nullptr);
    dialog.setBrokerList({testsupport::makeBaseInfo(7, "GX", "国信证券", "20240112", "20240105")});
    dialog.findChild<QLineEdit*>(QStringLiteral("sendFileEdit"))->setText(path);
    QVERIFY(dialog.handleEvent(5, 402, 0, QString(), nullptr));
    QTRY_VERIFY(!m_messages.isEmpty() || !service->operations().empty());

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
    QCOMPARE(json.value(QStringLiteral("message")).toString(), exitCode == 0 ? QString() : m_messages.value(0));
    if (exitCode == 0)
        QVERIFY(!sent.isEmpty());
}

QTEST_MAIN(TestCreditDataPreview)
#include "tst_creditdatapreview.moc"
