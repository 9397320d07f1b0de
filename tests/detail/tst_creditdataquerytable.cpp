#include "detail/creditdataquerydata.h"
#include "detail/creditdataquerydialog.h"
#include "detail/creditdataquerymodel.h"
#include "detail/creditdataquerytable.h"

#include "creditdataprobes.h"
#include "standinservice.h"

#include <QtTest>

#include <boost/make_shared.hpp>

#include <cmath>

namespace {

// A row answering a ratio of its own, to see that the ratio's text follows getDouble.
class OverriddenRatio : public DVK::CCreditDataQueryData
{
public:
    double answered = 0;
    double getDouble(int column) override
    {
        return column == 2 ? answered : DVK::CCreditDataQueryData::getDouble(column);
    }
};

} // namespace

class TestCreditDataQueryTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void columns();
    void ratioText_data();
    void ratioText();
    void construction();
    void ratioSortsByValue();
    void keysOfSubjects_data();
    void keysOfSubjects();
};

// Headers and a filled row's texts ("-" past either end, the ratio rounded to two decimals), the
// same from every text getter; code and exchange filter. Only the ratio holds a number, unrounded;
// the other columns answer the no-value markers. Every text has the default colour.
void TestCreditDataQueryTable::columns()
{
    DVK::CCreditDataQueryTable table(1332, nullptr);
    DVK::CCreditDataQueryData row;
    row.stockCode = QStringLiteral("000858");
    row.exchangeName = QStringLiteral("深交所");
    row.ratio = 0.655;
    row.stockName = QStringLiteral("五粮液");

    const testsupport::ColumnsDump dump = testsupport::dumpColumns(table, row);
    QCOMPARE(dump.headers, QStringLiteral("|证券代码|交易所名称|担保品折算比例|证券名称|"));
    QCOMPARE(dump.texts, QStringLiteral("-|000858|深交所|0.66|五粮液|-"));
    QCOMPARE(dump.textsFromAll, dump.texts);
    QCOMPARE(dump.filterable, QStringLiteral("0|1"));
    QCOMPARE(dump.numbers, QStringLiteral("2"));
    QCOMPARE(row.getDouble(2), 0.655);
    QCOMPARE(dump.coloured, QString());
}

void TestCreditDataQueryTable::ratioText_data()
{
    QTest::addColumn<double>("ratio");
    QTest::addColumn<QString>("text");

    QTest::newRow("zeros kept") << 1.0 << QStringLiteral("1.00");
    QTest::newRow("no grouping, no percent") << 12345.678 << QStringLiteral("12345.68");
    QTest::newRow("NaN") << std::nan("") << QStringLiteral("非法值");
}

// The ratio's text is getDouble(2) with two decimals and no flags; rejected values show "非法值".
void TestCreditDataQueryTable::ratioText()
{
    QFETCH(double, ratio);
    QFETCH(QString, text);

    OverriddenRatio row;
    row.ratio = 9.0;
    row.answered = ratio;
    QCOMPARE(row.getText(2), text);
}

// Row numbers off, every other host default kept; the refresh entry gone; rows alternate in colour.
void TestCreditDataQueryTable::construction()
{
    testsupport::checkTrimmedTable<DVK::CCreditDataQueryTable>(1332);
}

// Sorting the ratio column orders by value, not by text ("10.00" < "100.00" < "9.50").
void TestCreditDataQueryTable::ratioSortsByValue()
{
    DVK::CCreditDataQueryTable table(1332, nullptr);
    for (const auto& item : {std::make_pair("A", 10.0), std::make_pair("B", 9.5), std::make_pair("C", 100.0)}) {
        auto row = boost::make_shared<DVK::CCreditDataQueryData>();
        row->rowKey = item.first;
        row->stockCode = QString::fromLatin1(item.first);
        row->ratio = item.second;
        table.getDataModel()->addData(row);
    }
    table.updateTable();
    table.sortByColumn(2, Qt::AscendingOrder);

    QStringList shown;
    for (int i = 0; i < table.visibleRowCount(); ++i) {
        shown << table.visibleRow(i)->getText(0);
    }
    QCOMPARE(shown, QStringList({"B", "A", "C"}));
}

void TestCreditDataQueryTable::keysOfSubjects_data()
{
    // Subjects as "brokerKeyNo,brokerId,exchange,code,lineNo" separated by ';'; '~' and '^' stand
    // for the bytes 0xFF and 0xFE.
    QTest::addColumn<QByteArray>("subjects");
    QTest::addColumn<QString>("codes"); // the rows' codes in order

    QTest::newRow("one broker") << QByteArray("12,8001,SH,600000,1;12,8001,SZ,000001,2") << "600000|000001";
    QTest::newRow("brokers change") << QByteArray("12,8001,SH,600000,1;13,8001,SH,600000,1;13,8002,SH,600000,1")
                                    << "600000|600000|600000";
    QTest::newRow("same key replaces in place")
        << QByteArray("12,8001,SH,600000,1;12,8001,SZ,000001,2;12,8001,SH,600000,1") << "600000|000001";
    QTest::newRow("texts beyond ASCII") << QByteArray("12,券商,上交所,沪A,7;12,券商,深交所,沪A,8") << "沪A|沪A";
    QTest::newRow("bytes that are not UTF-8")
        << QByteArray("12,8001,SH,60~00,1;12,8001,^,60^00,2") << "60\uFFFD00|60\uFFFD00";
    QTest::newRow("exchanges interleaved, one not UTF-8")
        << QByteArray("12,8001,SH,600000,1;12,8001,^,600001,2;12,8001,SH,600002,3;12,8001,^,600003,4")
        << "600000|600001|600002|600003";
    QByteArray manyExchanges;
    QStringList manyCodes;
    for (int i = 0; i < 24; ++i) {
        manyExchanges += QByteArray("12,8001,X") + QByteArray::number(i * 7 % 11) + "," + QByteArray::number(i) + "," +
                         QByteArray::number(i) + ";";
        manyCodes << QString::number(i);
    }
    manyExchanges.chop(1);
    QTest::newRow("more exchanges than are shared") << manyExchanges << manyCodes.join('|');
    QTest::newRow("separators inside the fields")
        << QByteArray("12,80____01,S____H,6____0,1;12,80,____S____H,6____0,1") << "6____0|6____0";
}

// Each row's key is its record's key, found by lookup, and its exchange the record's, however
// the record's texts are made and however many exchanges the detail lists.
void TestCreditDataQueryTable::keysOfSubjects()
{
    QFETCH(QByteArray, subjects);
    QFETCH(QString, codes);

    std::vector<rqservice::CStkSubjectsPtr> records;
    for (const QByteArray& line : subjects.split(';')) {
        QList<QByteArray> f = line.split(',');
        for (QByteArray& field : f)
            field.replace('~', '\xff').replace('^', '\xfe'); // bytes no UTF-8 text holds
        auto s = boost::make_shared<rqservice::CStkSubjects>();
        s->brokerKeyNo = f[0].toInt();
        s->brokerId = f[1].toStdString();
        s->exchangeName = f[2].toStdString();
        s->stockCode = f[3].toStdString();
        standin::setLineNo(*s, f[4].toInt());
        records.push_back(s);
    }
    records.insert(records.begin() + 1, rqservice::CStkSubjectsPtr());

    DVK::CCreditDataQueryDialog dialog(nullptr);
    auto detail = boost::make_shared<rqservice::CVoprCvionRateDetail>();
    detail->subjects = records;
    emit dialog.sigOnDataCallBack({detail});
    DVK::CCreditDataQueryModel* model = dialog.findChild<DVK::CCreditDataQueryTable*>()->getDataModel();
    QStringList shown;
    for (int i = 0; i < model->rowCount(); ++i)
        shown.append(model->getData(i)->getText(0));
    QCOMPARE(shown.join('|'), codes);
    for (const rqservice::CStkSubjectsPtr& record : records) {
        if (!record)
            continue;
        // The row key is the record's key as text: bytes that are not UTF-8 come back replaced.
        const std::string key = WB::sToQs(record->getCsKey()).toUtf8().toStdString();
        const WB::IBaseHpfTableDataPtr row = model->getDataByKey(key);
        QVERIFY2(row, key.c_str());
        QCOMPARE(row->getText(1), WB::sToQs(record->exchangeName));
        QCOMPARE(row->qsKey(), WB::sToQs(record->getCsKey()));
    }
}

QTEST_MAIN(TestCreditDataQueryTable)
#include "tst_creditdataquerytable.moc"
