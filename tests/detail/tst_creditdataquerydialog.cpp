#include "detail/creditdataquerydialog.h"
#include "detail/creditdataquerydata.h"
#include "detail/creditdataquerymodel.h"
#include "detail/creditdataquerytable.h"

#include "creditdataprobes.h"
#include "common/clientunavailable.h"
#include "scriptedservice.h"
#include "standinservice.h"
#include "standintoolkit.h"

#include <QScopeGuard>
#include <QTimer>
#include <QtTest>

#include <boost/make_shared.hpp>

#include <locale>
#include <sstream>
#include <memory>

using testsupport::PanelProbe;

namespace {

boost::shared_ptr<rqservice::CVoprCvionRateBaseInfo> makeBroker(int keyNo, const std::string& id)
{
    return boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(
        testsupport::makeBaseInfo(keyNo, id, "国信证券", "20240112", "20240105"));
}

// The securities the answers are built from, by a one-letter name, with the row the detail table
// shows for each; any other letter is a null subject.
const QMap<QChar, QPair<rqservice::CStkSubjectsPtr, QString>> kSubjects = {
    {QLatin1Char('A'),
     {testsupport::makeSubject(7, "ABC", "深交所", "000858", "五粮液", 0.655, 1),
      QStringLiteral("7|7____ABC____深交所____000858____1|000858|深交所|0.66|五粮液")}},
    {QLatin1Char('B'),
     {testsupport::makeSubject(7, "ABC", "上交所", "600000", "浦发银行", 0.7, 2),
      QStringLiteral("7|7____ABC____上交所____600000____2|600000|上交所|0.70|浦发银行")}},
    {QLatin1Char('C'),
     {testsupport::makeSubject(7, "ABC", "北交所", "830799", "艾融软件", 0.3, 3),
      QStringLiteral("7|7____ABC____北交所____830799____3|830799|北交所|0.30|艾融软件")}}};

// "detail:AB" is a detail record with those subjects ('0' a null one), "base" a summary record; a
// failure with this text when there is one.
testsupport::ScriptedAnswer detailAnswer(const QStringList& items, const QString& failure = QString())
{
    testsupport::ScriptedAnswer out;
    if (!failure.isEmpty())
        out.error = utils::RQError::failure(failure.toStdString());
    for (const QString& item : items) {
        if (item == QLatin1String("base")) {
            out.records.push_back(makeBroker(7, "ABC"));
            continue;
        }
        auto detail = boost::make_shared<rqservice::CVoprCvionRateDetail>();
        for (QChar name : item.mid(int(qstrlen("detail:")))) {
            detail->subjects.push_back(kSubjects.value(name).first);
        }
        out.records.push_back(detail);
    }
    return out;
}

// The detail table's rows for these subjects.
QStringList rowsFor(const QString& names)
{
    QStringList out;
    for (QChar name : names) {
        out << kSubjects.value(name).second;
    }
    return out;
}

DVK::CCreditDataQueryTable* tableOf(DVK::CCreditDataQueryDialog& dialog)
{
    return dialog.findChild<DVK::CCreditDataQueryTable*>(QStringLiteral("creditDataQueryTable"));
}

// The detail table's rows as "brokerKeyNo|key|col0|col1|col2|col3".
QStringList shownRows(DVK::CCreditDataQueryDialog& dialog)
{
    WB::IBaseHpfTableModel* model = tableOf(dialog)->getDataModel();
    const QStringList texts = testsupport::rowTexts(model);
    QStringList out;
    for (int i = 0; i < model->rowCount(); ++i)
        out << QStringLiteral("%1|%2")
                   .arg(static_cast<DVK::CCreditDataQueryData&>(*model->getData(i)).brokerKeyNo)
                   .arg(texts[i]);
    return out;
}

// Digits grouped in threes with ',' as zh_CN.UTF-8 does, without needing that locale installed.
struct GroupingPunct : std::numpunct<char>
{
    char do_thousands_sep() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
};

WB::CLoadingMaskWidget* maskOf(DVK::CCreditDataQueryDialog& dialog)
{
    return dialog.findChild<WB::CLoadingMaskWidget*>(QStringLiteral("creditDataQueryMask"));
}

// The information box "提示" with this text, as the interceptor records it.
QString infoBox(const QString& text)
{
    return QStringLiteral("%1 提示 %2").arg(int(standin::MessageRecord::Information)).arg(text);
}

} // namespace

class TestCreditDataQueryDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase() { standin::setMessageInterceptor(standin::MessageInterceptor()); }

    void queryKey_data();
    void queryKey();
    void answers_data();
    void answers();
    void noClientLeavesDialogClosable();
    void destroyedWithQueryOutstanding();
    void rowButtonOpensDialog();

private:
    boost::shared_ptr<testsupport::CScriptedService> m_service;
    QStringList m_boxes; // "<kind> <title> <text>" of every message box shown
};

void TestCreditDataQueryDialog::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    standin::setCaptureMessages(true);
    standin::setMessageInterceptor([this](const standin::MessageRecord& record) {
        m_boxes << QStringLiteral("%1 %2 %3").arg(int(record.kind)).arg(record.title, record.text);
        return int(QMessageBox::Ok);
    });
}

void TestCreditDataQueryDialog::init()
{
    standin::setClientCenterOutage(false);
    m_service = testsupport::CScriptedService::install();
    m_boxes.clear();
}

void TestCreditDataQueryDialog::queryKey_data()
{
    QTest::addColumn<bool>("hasBroker");
    QTest::addColumn<int>("keyNo");
    QTest::addColumn<QString>("brokerId");
    QTest::addColumn<QString>("key");

    QTest::newRow("plain, no grouping") << true << 1234567 << QStringLiteral("国信")
                                        << QStringLiteral("1234567____国信");
    QTest::newRow("zero, empty id") << true << 0 << QString() << QStringLiteral("0____");
    QTest::newRow("no broker") << false << 0 << QString()
                               << QString::fromStdString(rqservice::CVoprQueryDataReq().queryKey);
}

// The detail query names the broker as "<keyNo>____<id>" and is logged; without a broker it still goes out.
// A host whose global locale groups digits changes nothing in the key.
void TestCreditDataQueryDialog::queryKey()
{
    QFETCH(bool, hasBroker);
    QFETCH(int, keyNo);
    QFETCH(QString, brokerId);

    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new GroupingPunct));
    const auto restore = qScopeGuard([&] { std::locale::global(previous); });
    std::ostringstream grouped;
    grouped << 1234567;
    QCOMPARE(grouped.str(), std::string("1,234,567"));
    DVK::CCreditDataQueryDialog dialog(nullptr);
    testsupport::CLogCapture log;
    dialog.setData(hasBroker ? makeBroker(keyNo, brokerId.toStdString())
                             : boost::shared_ptr<rqservice::CVoprCvionRateBaseInfo>());

    QCOMPARE(m_service->queryCount(), 1);
    const auto query = m_service->queries().back();
    QCOMPARE(query->queryType, 12295);
    QTEST(QString::fromStdString(query->queryKey), "key");
    QCOMPARE(testsupport::capturedLines(log, "[CCreditDataQueryDialog]"),
             QStringList(QStringLiteral("20000 [CCreditDataQueryDialog] queryData:") +
                         QString::fromStdString(query->toLog())));
}

void TestCreditDataQueryDialog::answers_data()
{
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("shown"); // subjects by name
    QTest::addColumn<bool>("reversed"); // the newer query answered before the older one

    QTest::newRow("null subjects skipped, order kept")
        << QStringList({"detail:0C0AB"}) << QString() << QStringLiteral("CAB") << false;
    QTest::newRow("only the first detail record")
        << QStringList({"detail:A", "detail:BC"}) << QString() << QStringLiteral("A") << false;
    QTest::newRow("empty subjects") << QStringList({"detail:"}) << QString() << QString() << false;
    QTest::newRow("no records") << QStringList() << QString() << QString() << false;
    QTest::newRow("first record not a detail") << QStringList({"base", "detail:A"}) << QString() << QString() << false;
    QTest::newRow("failure") << QStringList() << QStringLiteral("券商无折算率数据") << QString() << false;
    QTest::newRow("late answer to the older query dropped")
        << QStringList({"detail:AB"}) << QString() << QStringLiteral("AB") << true;
}

// The next broker's query empties the table at once, so no old row shows while it is awaited. Every
// answer replaces the rows with the first record's subjects, quietly; a failure leaves the table
// empty and shows the server's text in the information box "提示". An answer to a query that a newer
// one replaced is dropped, whenever it comes.
void TestCreditDataQueryDialog::answers()
{
    QFETCH(QStringList, records);
    QFETCH(QString, failure);
    QFETCH(QString, shown);
    QFETCH(bool, reversed);

    DVK::CCreditDataQueryDialog dialog(nullptr);
    m_service->queueQueryAnswer(detailAnswer({"detail:AB"}));
    dialog.setData(makeBroker(7, "ABC"));
    QTRY_COMPARE(tableOf(dialog)->visibleRowCount(), 2);

    // Before a successful answer comes a stale one, which it must replace (a failure replaces nothing).
    const int opened = failure.isEmpty() ? 2 : 1;
    m_service->setHolding(true);
    for (int i = 0; i < opened; ++i) {
        dialog.setData(makeBroker(8, "DEF"));
    }
    QCOMPARE(m_service->pendingCount(), opened);
    QCOMPARE(tableOf(dialog)->visibleRowCount(), 0);
    QCOMPARE(shownRows(dialog), QStringList());
    QVERIFY(!maskOf(dialog)->isHidden());

    const testsupport::ScriptedAnswer scripted = detailAnswer(records, failure);
    if (reversed) {
        QVERIFY(m_service->releaseNewestQuery(scripted));
        QVERIFY(m_service->releaseQuery(detailAnswer({"detail:C"})));
    } else {
        QVERIFY(opened == 1 || m_service->releaseQuery(detailAnswer({"detail:C"})));
        QVERIFY(m_service->releaseQuery(scripted));
    }
    m_service->waitDelivered();
    QCoreApplication::processEvents();
    QVERIFY(maskOf(dialog)->isHidden());
    QCOMPARE(shownRows(dialog), rowsFor(shown));
    QCOMPARE(tableOf(dialog)->visibleRowCount(), shown.size());
    QCOMPARE(m_boxes, failure.isEmpty() ? QStringList() : QStringList(infoBox(failure)));

    // Whatever came before, the next broker's answer shows.
    m_service->setHolding(false);
    m_service->queueQueryAnswer(detailAnswer({"detail:B"}));
    dialog.setData(makeBroker(9, "GHI"));
    QTRY_COMPARE(shownRows(dialog), rowsFor("B"));
    QVERIFY(maskOf(dialog)->isHidden());
}

// A query that cannot be sent puts up no mask, which would take Escape away from the modal dialog;
// the information box of a failed answer says why, and the previous broker's rows are gone.
void TestCreditDataQueryDialog::noClientLeavesDialogClosable()
{
    DVK::CCreditDataQueryDialog dialog(nullptr);
    m_service->queueQueryAnswer(detailAnswer({"detail:AB"}));
    dialog.setData(makeBroker(7, "ABC"));
    QTRY_COMPARE(tableOf(dialog)->visibleRowCount(), 2);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    standin::setClientCenterOutage(true);
    dialog.setData(makeBroker(8, "DEF"));
    standin::setClientCenterOutage(false);
    QVERIFY(maskOf(dialog)->isHidden());
    QCOMPARE(tableOf(dialog)->visibleRowCount(), 0);
    QCOMPARE(m_service->queryCount(), 1);
    QTRY_COMPARE(m_boxes, QStringList(infoBox(DVK::clientUnavailableText())));

    QTest::keyClick(dialog.focusWidget() ? dialog.focusWidget() : &dialog, Qt::Key_Escape);
    QVERIFY(dialog.isHidden());
}

// An answer arriving after the dialog is gone is dropped.
void TestCreditDataQueryDialog::destroyedWithQueryOutstanding()
{
    m_service->setHolding(true);
    auto dialog = std::make_unique<DVK::CCreditDataQueryDialog>(nullptr);
    dialog->setData(makeBroker(7, "ABC"));
    QCOMPARE(m_service->pendingCount(), 1);
    dialog.reset();

    QVERIFY(m_service->releaseQuery(detailAnswer({}, QStringLiteral("late"))));
    m_service->waitDelivered();
    QCoreApplication::processEvents();
    QCOMPARE(m_boxes, QStringList());
}

// A row's "查询" opens one modal dialog, reused for the next broker, querying the row's broker
// (its key number and id, the id shared here); a broker missing from the last summary still
// opens it, without a new query.
void TestCreditDataQueryDialog::rowButtonOpensDialog()
{
    PanelProbe panel;
    m_service->queueQueryAnswer(testsupport::summaryAnswer({"7|ABC|国信证券|20240105", "8|ABC|中信证券|20240108"}));
    panel.request();
    QTRY_COMPARE(panel.table->getDataModel()->rowCount(), 2);

    // "<modal> <dialogs> <queries so far> <last query key>" each time a dialog shows; then closes it.
    QStringList seen;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        auto* dialog = panel.findChild<DVK::CCreditDataQueryDialog*>();
        if (dialog && dialog->isVisible()) {
            seen << QStringLiteral("%1 %2 %3 %4")
                        .arg(dialog->isModal())
                        .arg(panel.findChildren<DVK::CCreditDataQueryDialog*>().size())
                        .arg(m_service->queryCount())
                        .arg(QString::fromStdString(m_service->queries().back()->queryKey));
            dialog->done(0);
        }
    });
    closer.start(0);
    for (int row : {1, 0}) {
        const QString key = QString::fromStdString(panel.table->getDataModel()->getData(row)->getKey());
        QVERIFY(WB::deliverEvent(panel.table, 228, 3, 0, key));
    }
    panel.showData(9, "GONE");
    QCOMPARE(seen, QStringList({"1 1 2 8____ABC", "1 1 3 7____ABC", "1 1 3 7____ABC"}));
    QCOMPARE(panel.queryDialog->parentWidget(), static_cast<QWidget*>(&panel));
}

QTEST_MAIN(TestCreditDataQueryDialog)
#include "tst_creditdataquerydialog.moc"
