#include "hosttoolkit.h"

#include <QTest>

namespace {
class CountingWidget : public WB::CBaseWidget
{
public:
    void onUiResourceChanged() override
    {
        ++changes;
        WB::CBaseWidget::onUiResourceChanged();
    }
    int changes = 0;
};
} // namespace

class TestUiResource : public QObject
{
    Q_OBJECT

private slots:
    void themeKeysAndFallback_data();
    void themeKeysAndFallback();
    void setColorUpdatesInPlaceAndNotifies();
};

void TestUiResource::themeKeysAndFallback_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("table background") << "clr_table_background" << QColor(Qt::white);
    QTest::newRow("default text") << "cle_default" << QColor(0x22, 0x22, 0x22);
    QTest::newRow("unknown key") << "clr_no_such_colour" << QColor(Qt::magenta);
    QTest::newRow("empty key") << "" << QColor(Qt::magenta);
}

// Every key gives a colour; an unknown one the loud magenta fallback, never null.
void TestUiResource::themeKeysAndFallback()
{
    QFETCH(QString, key);
    QFETCH(QColor, expected);
    const QColor* color = utils::CSingletonT<WB::CUiResource>::instance()->getColor(key);
    QVERIFY(color);
    QCOMPARE(*color, expected);
}

// A pointer handed out earlier sees the new colour, and live handlers are told once.
void TestUiResource::setColorUpdatesInPlaceAndNotifies()
{
    auto* res = utils::CSingletonT<WB::CUiResource>::instance();
    const QColor* background2 = res->getColor("clr_table_background2");
    const QColor original = *background2;
    QVERIFY(original != QColor(Qt::magenta));
    QVERIFY(original.lightness() > 230);

    CountingWidget alive;
    auto* gone = new CountingWidget;
    delete gone;
    res->setColor("clr_table_background2", QColor(1, 2, 3));
    QCOMPARE(res->getColor("clr_table_background2"), background2);
    QCOMPARE(*background2, QColor(1, 2, 3));
    QCOMPARE(alive.changes, 1);

    res->setColor("clr_table_background2", original);
    QCOMPARE(*background2, original);
    QVERIFY(res->colorKeys().contains(QStringLiteral("clr_accent")));
}

QTEST_MAIN(TestUiResource)
#include "tst_uiresource.moc"
