#include "detail/creditdataquerydata.h"
#include "detail/creditdataquerydialog.h"
#include "detail/creditdataquerymodel.h"
#include "detail/creditdataquerytable.h"
#include "panel/creditdatamainmodel.h"
#include "panel/creditdatamaintable.h"
#include "panel/creditdatapanel.h"

#include "logcapture.h"
#include "scriptedservice.h"

#include <QMetaMethod>
#include <QTimer>
#include <QtTest>

#include <boost/make_shared.hpp>

namespace {

class PanelProbe : public DVK::CCreditDataPanel
{
public:
    using DVK::CCreditDataPanel::CCreditDataPanel;
    using DVK::CCreditDataPanel::queryDialog;
    using DVK::CCreditDataPanel::showData;
    using DVK::CCreditDataPanel::table;
};

boost::shared_ptr<rqservice::CVoprCvionRateBaseInfo> makeBroker(int keyNo, const std::string& id)
{
    return boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(
        testsupport::makeBaseInfo(keyNo, id, "国信证券", "20240112", "20240105"));
}

// The securities the answers are built from, by a one-letter name.
rqservice::CStkSubjectsPtr subject(QChar name)
{
    switch (name.toLatin1()) {
    case 'A':
        return testsupport::makeSubject(7, "ABC", "深交所", "000858", "五粮液", 0.655, 1);
    case 'B':
        return testsupport::makeSubject(7, "ABC", "上交所", "600000", "浦发银行", 0.7, 2);
    case 'C':
        return testsupport::makeSubject(7, "ABC", "北交所", "830799", "艾融软件", 0.3, 3);
    default:
        return rqservice::CStkSubjectsPtr();
    }
}

// "detail:AB" is a detail record with those subjects ('0' a null one), "base" a summary record.
std::vector<rqservice::IDataPtr> makeAnswer(const QStringList& specs)
{
    std::vector<rqservice::IDataPtr> out;
    for (const QString& spec : specs) {
        if (spec == QLatin1String("base")) {
            out.push_back(makeBroker(7, "ABC"));
            continue;
        }
        auto detail = boost::make_shared<rqservice::CVoprCvionRateDetail>();
        detail->brokerKeyNo = 7;
        detail->brokerId = "ABC";
        for (QChar name : spec.mid(int(qstrlen("detail:")))) {
            detail->subjects.push_back(subject(name));
        }
        out.push_back(detail);
    }
    return out;
}

QString rowText(const rqservice::CStkSubjectsPtr& s)
{
    return QStringLiteral("%1|%2|%3|%4|%5|%6")
        .arg(QString::fromStdString(s->getCsKey()))
        .arg(s->brokerKeyNo)
        .arg(QString::fromStdString(s->stockCode), QString::fromStdString(s->exchangeName),
             QString::number(s->ratio, 'f', 2), QString::fromStdString(s->stockName));
}

// Each model row as "key|keyNo|col0|col1|col2|col3".
QStringList modelRows(DVK::CCreditDataQueryTable* table)
{
    QStringList out;
    for (const WB::IBaseHpfTableDataPtr& data : table->getDataModel()->rows()) {
        const auto row = boost::dynamic_pointer_cast<DVK::CCreditDataQueryData>(data);
        if (!row) {
            out << QStringLiteral("?");
            continue;
        }
        out << QStringLiteral("%1|%2|%3|%4|%5|%6")
                   .arg(QString::fromStdString(row->getKey()))
                   .arg(row->brokerKeyNo)
                   .arg(row->getText(0), row->getText(1), row->getText(2), row->getText(3));
    }
    return out;
}

} // namespace

class TestCreditDataQueryDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void shape();
    void metaObjectMethods();
    void queryKey_data();
    void queryKey();
    void answers_data();
    void answers();
    void failedAnswer();
    void secondOpeningShowsNoOldRows();
    void destroyedWithQueryOutstanding();
    void rowButtonOpensDialog();
    void brokerGoneStillOpens();

private:
    DVK::CCreditDataQueryTable* tableOf(DVK::CCreditDataQueryDialog& dialog)
    {
        return dialog.findChild<DVK::CCreditDataQueryTable*>(QStringLiteral("creditDataQueryTable"));
    }
    WB::CLoadingMaskWidget* maskOf(DVK::CCreditDataQueryDialog& dialog)
    {
        return dialog.findChild<WB::CLoadingMaskWidget*>(QStringLiteral("creditDataQueryMask"));
    }
    // Sends the dialog's query for a broker with this answer and waits until it is applied.
    void answer(DVK::CCreditDataQueryDialog& dialog, const testsupport::ScriptedAnswer& scripted);

    boost::shared_ptr<testsupport::CScriptedService> m_service;
    QList<WB::MessageRecord> m_boxes;
};

void TestCreditDataQueryDialog::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    utils::CSingletonT<DVK::CVoprClientCenter>::instance()->setCaptureMessages(true);
    WB::CMessageBox::setInterceptor([this](const WB::MessageRecord& record) {
        m_boxes << record;
        return int(QMessageBox::Ok);
    });
}

void TestCreditDataQueryDialog::cleanupTestCase()
{
    WB::CMessageBox::setInterceptor(WB::CMessageBox::Interceptor());
}

void TestCreditDataQueryDialog::init()
{
    utils::CSingletonT<DVK::CUserManager>::instance()->setGrantedRights({10079, 10413});
    m_service = testsupport::CScriptedService::install();
    m_boxes.clear();
}

void TestCreditDataQueryDialog::answer(DVK::CCreditDataQueryDialog& dialog, const testsupport::ScriptedAnswer& scripted)
{
    m_service->queueQueryAnswer(scripted);
    dialog.setData(makeBroker(7, "ABC"));
    QVERIFY(!maskOf(dialog)->isHidden());
    QTRY_VERIFY(maskOf(dialog)->isHidden());
}

void TestCreditDataQueryDialog::shape()
{
    DVK::CCreditDataQueryDialog dialog(nullptr);
    QCOMPARE(dialog.title(), QStringLiteral("查询"));
    QCOMPARE(dialog.minimumSize(), QSize(500, 600));
    QCOMPARE(dialog.size(), QSize(800, 600));
    QVERIFY(tableOf(dialog));
    QCOMPARE(tableOf(dialog)->tableId(), 1332);
    QCOMPARE(dialog.innerWidget(), static_cast<QWidget*>(tableOf(dialog)));
    QVERIFY(maskOf(dialog)->isHidden());
    QCOMPARE(maskOf(dialog)->text(), QStringLiteral("正在获取数据..."));
    QCOMPARE(m_service->queryCount(), 0);
}

void TestCreditDataQueryDialog::metaObjectMethods()
{
    const QMetaObject& meta = DVK::CCreditDataQueryDialog::staticMetaObject;
    QCOMPARE(meta.className(), "DVK::CCreditDataQueryDialog");
    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        methods << QStringLiteral("%1 %2")
                       .arg(method.methodType() == QMetaMethod::Signal ? "signal" : "slot")
                       .arg(QString::fromLatin1(method.methodSignature()));
    }
    QCOMPARE(methods, QStringList({
                          "signal sigOnDataCallBack(std::vector<rqservice::IDataPtr>)",
                          "signal sigMsgCallBack(bool,QString)",
                          "slot slotOnDataCallBack(std::vector<rqservice::IDataPtr>)",
                          "slot slotMsgCallBack(bool,QString)",
                      }));
}

void TestCreditDataQueryDialog::queryKey_data()
{
    QTest::addColumn<bool>("hasBroker");
    QTest::addColumn<int>("keyNo");
    QTest::addColumn<QString>("brokerId");
    QTest::addColumn<QString>("key");

    QTest::newRow("plain") << true << 7 << QStringLiteral("ABC") << QStringLiteral("7____ABC");
    QTest::newRow("negative number") << true << -1 << QStringLiteral("X") << QStringLiteral("-1____X");
    QTest::newRow("zero, empty id") << true << 0 << QString() << QStringLiteral("0____");
    QTest::newRow("no grouping") << true << 1234567 << QStringLiteral("国信") << QStringLiteral("1234567____国信");
    QTest::newRow("no broker") << false << 0 << QString()
                               << QString::fromStdString(rqservice::CVoprQueryDataReq().queryKey);
}

// The detail query names the broker as "<keyNo>____<id>"; without a broker it still goes out.
void TestCreditDataQueryDialog::queryKey()
{
    QFETCH(bool, hasBroker);
    QFETCH(int, keyNo);
    QFETCH(QString, brokerId);
    QFETCH(QString, key);

    DVK::CCreditDataQueryDialog dialog(nullptr);
    testsupport::CLogCapture log;
    dialog.setData(hasBroker ? makeBroker(keyNo, brokerId.toStdString())
                             : boost::shared_ptr<rqservice::CVoprCvionRateBaseInfo>());

    QCOMPARE(m_service->queryCount(), 1);
    const auto query = m_service->queries().back();
    QCOMPARE(query->queryType, 12295);
    QCOMPARE(QString::fromStdString(query->queryKey), key);

    QStringList lines;
    for (const testsupport::CapturedLine& line : log.lines()) {
        if (line.message.rfind("[CCreditDataQueryDialog]", 0) == 0) {
            lines << QStringLiteral("%1 %2").arg(line.level).arg(QString::fromStdString(line.message));
        }
    }
    QCOMPARE(lines, QStringList({QStringLiteral("20000 [CCreditDataQueryDialog] queryData:") +
                                 QString::fromStdString(query->toLog())}));
    QTRY_VERIFY(maskOf(dialog)->isHidden());
}

void TestCreditDataQueryDialog::answers_data()
{
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QString>("shown"); // subjects by name

    QTest::newRow("subjects in order") << QStringList({"detail:CAB"}) << QStringLiteral("CAB");
    QTest::newRow("only the first detail record") << QStringList({"detail:A", "detail:BC"}) << QStringLiteral("A");
    QTest::newRow("null subjects skipped") << QStringList({"detail:0A0B"}) << QStringLiteral("AB");
    QTest::newRow("empty subjects") << QStringList({"detail:"}) << QString();
    QTest::newRow("no records") << QStringList() << QString();
    QTest::newRow("first record not a detail") << QStringList({"base", "detail:A"}) << QString();
}

// Every answer replaces the rows with the first record's subjects, quietly.
void TestCreditDataQueryDialog::answers()
{
    QFETCH(QStringList, records);
    QFETCH(QString, shown);

    DVK::CCreditDataQueryDialog dialog(nullptr);
    testsupport::ScriptedAnswer previous;
    previous.records = makeAnswer({"detail:C"});
    answer(dialog, previous);
    QCOMPARE(modelRows(tableOf(dialog)).size(), 1);

    testsupport::ScriptedAnswer scripted;
    scripted.records = makeAnswer(records);
    answer(dialog, scripted);

    QStringList expected;
    for (QChar name : shown) {
        expected << rowText(subject(name));
    }
    QCOMPARE(modelRows(tableOf(dialog)), expected);
    QCOMPARE(tableOf(dialog)->visibleRowCount(), expected.size());
    QCOMPARE(m_boxes.size(), 0);
}

// A failure shows the server's text in "提示" and leaves the table empty.
void TestCreditDataQueryDialog::failedAnswer()
{
    DVK::CCreditDataQueryDialog dialog(nullptr);
    testsupport::ScriptedAnswer previous;
    previous.records = makeAnswer({"detail:AB"});
    answer(dialog, previous);

    testsupport::ScriptedAnswer failed;
    failed.error = utils::RQError::failure("券商无折算率数据");
    answer(dialog, failed);

    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(int(m_boxes[0].kind), int(WB::MessageRecord::Information));
    QCOMPARE(m_boxes[0].title, QStringLiteral("提示"));
    QCOMPARE(m_boxes[0].text, QStringLiteral("券商无折算率数据"));
    QCOMPARE(modelRows(tableOf(dialog)), QStringList());
    QCOMPARE(tableOf(dialog)->visibleRowCount(), 0);
}

// The next broker's query empties the table at once, so no old row shows while it is awaited.
void TestCreditDataQueryDialog::secondOpeningShowsNoOldRows()
{
    DVK::CCreditDataQueryDialog dialog(nullptr);
    testsupport::ScriptedAnswer first;
    first.records = makeAnswer({"detail:AB"});
    answer(dialog, first);
    QCOMPARE(tableOf(dialog)->visibleRowCount(), 2);

    m_service->setHolding(true);
    dialog.setData(makeBroker(8, "DEF"));
    QCOMPARE(m_service->pendingCount(), 1);
    QCOMPARE(tableOf(dialog)->visibleRowCount(), 0);
    QCOMPARE(modelRows(tableOf(dialog)), QStringList());
    QVERIFY(!maskOf(dialog)->isHidden());

    testsupport::ScriptedAnswer second;
    second.records = makeAnswer({"detail:C"});
    QVERIFY(m_service->releaseQuery(second));
    QTRY_VERIFY(maskOf(dialog)->isHidden());
    QCOMPARE(modelRows(tableOf(dialog)), QStringList({rowText(subject('C'))}));
}

// An answer arriving after the dialog is gone is dropped.
void TestCreditDataQueryDialog::destroyedWithQueryOutstanding()
{
    m_service->setHolding(true);
    auto* dialog = new DVK::CCreditDataQueryDialog(nullptr);
    dialog->setData(makeBroker(7, "ABC"));
    QCOMPARE(m_service->pendingCount(), 1);
    delete dialog;

    testsupport::ScriptedAnswer failed;
    failed.error = utils::RQError::failure("late");
    QVERIFY(m_service->releaseQuery(failed));
    m_service->waitDelivered();
    QCoreApplication::processEvents();
    QCOMPARE(m_boxes.size(), 0);
}

// A row's "查询" opens one modal dialog, reused for the next broker, querying the row's broker.
void TestCreditDataQueryDialog::rowButtonOpensDialog()
{
    PanelProbe panel;
    testsupport::ScriptedAnswer summary;
    summary.records = {testsupport::makeBaseInfo(7, "ABC", "国信证券", "20240112", "20240105"),
                       testsupport::makeBaseInfo(8, "DEF", "中信证券", "20240112", "20240108")};
    m_service->queueQueryAnswer(summary);
    panel.request();
    QTRY_COMPARE(panel.table->getDataModel()->rowCount(), 2);

    QStringList seen;
    for (int row : {1, 0}) {
        const QString key = QString::fromStdString(panel.table->getDataModel()->getData(row)->getKey());
        QTimer::singleShot(0, this, [&] {
            auto* dialog = panel.findChild<DVK::CCreditDataQueryDialog*>();
            if (!dialog) {
                return;
            }
            seen << QStringLiteral("%1 %2 %3")
                        .arg(dialog->isVisible() && dialog->isModal())
                        .arg(panel.findChildren<DVK::CCreditDataQueryDialog*>().size())
                        .arg(QString::fromStdString(m_service->queries().back()->queryKey));
            dialog->done(0);
        });
        QVERIFY(WB::deliverEvent(panel.table, 228, 3, 0, key));
    }
    QCOMPARE(seen, QStringList({"1 1 8____DEF", "1 1 7____ABC"}));
    QCOMPARE(panel.queryDialog->parentWidget(), static_cast<QWidget*>(&panel));
}

// A broker missing from the last summary still opens the dialog, without a new query.
void TestCreditDataQueryDialog::brokerGoneStillOpens()
{
    PanelProbe panel;
    bool opened = false;
    QTimer::singleShot(0, this, [&] {
        if (panel.queryDialog) {
            opened = panel.queryDialog->isVisible();
            panel.queryDialog->done(0);
        }
    });
    panel.showData(9, "GONE");
    QVERIFY(opened);
    QCOMPARE(m_service->queryCount(), 0);
}

QTEST_MAIN(TestCreditDataQueryDialog)
#include "tst_creditdataquerydialog.moc"
