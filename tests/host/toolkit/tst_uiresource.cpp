// The toolkit's resources: colours and images found by key.
#include "hosttoolkit.h"

#include <QPainter>
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

// Four coloured corners around a grey middle, with a 10px nine-grid.
class GridSample : public WB::CGridImage
{
public:
    GridSample()
    {
        m_image = QImage(30, 30, QImage::Format_ARGB32);
        m_image.fill(Qt::gray);
        QPainter p(&m_image);
        p.fillRect(0, 0, 10, 10, Qt::red);
        p.fillRect(20, 0, 10, 10, Qt::green);
        p.fillRect(0, 20, 10, 10, Qt::blue);
        p.fillRect(20, 20, 10, 10, Qt::yellow);
        m_grid = QMargins(10, 10, 10, 10);
    }
};

} // namespace

class TestUiResource : public QObject
{
    Q_OBJECT

private slots:
    void colorKeysAndFallback_data();
    void colorKeysAndFallback();
    void setColorUpdatesInPlaceAndNotifies();
    void imageKeys_data();
    void imageKeys();
    void nineGridKeepsCorners();
};

void TestUiResource::colorKeysAndFallback_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("table background") << "clr_table_background" << QColor(Qt::white);
    QTest::newRow("default text") << "cle_default" << QColor(0x22, 0x22, 0x22);
    QTest::newRow("unknown key") << "clr_no_such_colour" << QColor(Qt::magenta);
}

// Every key gives a colour; an unknown one the loud magenta fallback, never null.
void TestUiResource::colorKeysAndFallback()
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
    delete new CountingWidget;
    res->setColor("clr_table_background2", QColor(1, 2, 3));
    QCOMPARE(res->getColor("clr_table_background2"), background2);
    QCOMPARE(*background2, QColor(1, 2, 3));
    QCOMPARE(alive.changes, 1);
    res->setColor("clr_table_background2", original);
    QCOMPARE(*background2, original);
    QVERIFY(res->colorKeys().contains(QStringLiteral("clr_accent")));
}

void TestUiResource::imageKeys_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QSize>("size"); // empty: a null image
    QTest::newRow("upload illustration") << "img_send_file_credit" << QSize(265, 161);
    QTest::newRow("unknown") << "img_nothing_here" << QSize();
    QTest::newRow("path outside the images") << "../toolkit.qrc" << QSize();
}

// Known keys load from the library's resources and draw scaled into the rectangle and nowhere
// else; anything else is a null image drawing nothing.
void TestUiResource::imageKeys()
{
    QFETCH(QString, key);
    QFETCH(QSize, size);
    const WB::CImage image(key);
    QCOMPARE(image.key(), key);
    QCOMPARE(image.isNull(), size.isEmpty());
    if (!size.isEmpty())
        QCOMPARE(image.size(), size);

    QImage target(400, 300, QImage::Format_ARGB32);
    target.fill(Qt::transparent);
    QPainter painter(&target);
    const QRect rect(50, 40, 300, 200);
    image.drawImage(&painter, rect.x(), rect.y(), rect.width(), rect.height());
    painter.end();
    int inside = 0, outside = 0;
    for (int y = 0; y < target.height(); ++y)
        for (int x = 0; x < target.width(); ++x)
            if (qAlpha(target.pixel(x, y)) != 0)
                (rect.contains(x, y) ? inside : outside)++;
    QCOMPARE(outside, 0);
    if (size.isEmpty())
        QCOMPARE(inside, 0);
    else
        QVERIFY(inside > rect.width() * rect.height() / 4);
}

// Stretched far beyond its size, a nine-grid image keeps its corners unblurred.
void TestUiResource::nineGridKeepsCorners()
{
    QImage target(220, 120, QImage::Format_ARGB32);
    target.fill(Qt::white);
    QPainter painter(&target);
    GridSample().drawImage(&painter, 10, 10, 200, 100);
    painter.end();

    QCOMPARE(target.pixelColor(10, 10), QColor(Qt::red));
    QCOMPARE(target.pixelColor(19, 19), QColor(Qt::red));
    QCOMPARE(target.pixelColor(200, 10), QColor(Qt::green));
    QCOMPARE(target.pixelColor(10, 109), QColor(Qt::blue));
    QCOMPARE(target.pixelColor(209, 109), QColor(Qt::yellow));
    QCOMPARE(target.pixelColor(110, 60), QColor(Qt::gray));
    QCOMPARE(target.pixelColor(5, 5), QColor(Qt::white));
}

QTEST_MAIN(TestUiResource)
#include "tst_uiresource.moc"
