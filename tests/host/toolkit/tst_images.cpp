#include "hosttoolkit.h"

#include <QPainter>
#include <QTest>

namespace {
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

QImage blank(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::white);
    return image;
}
} // namespace

class TestImages : public QObject
{
    Q_OBJECT

private slots:
    void keys_data();
    void keys();
    void nineGridKeepsCorners();
    void plainImageScalesIntoTheRectangle();
};

void TestImages::keys_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QSize>("size"); // empty: a null image
    QTest::newRow("upload illustration") << "img_send_file_credit" << QSize(265, 161);
    QTest::newRow("unknown") << "img_nothing_here" << QSize();
    QTest::newRow("empty") << "" << QSize();
    QTest::newRow("path outside the images") << "../toolkit.qrc" << QSize();
}

// Known keys load from the library's resources; anything else is a null image drawing nothing.
void TestImages::keys()
{
    QFETCH(QString, key);
    QFETCH(QSize, size);
    const WB::CImage image(key);
    QCOMPARE(image.key(), key);
    QCOMPARE(image.isNull(), size.isEmpty());
    if (!size.isEmpty())
        QCOMPARE(image.size(), size);

    QImage target = blank(300, 200);
    QPainter painter(&target);
    image.drawImage(&painter, 10, 10, 265, 161);
    painter.end();
    QCOMPARE(target == blank(300, 200), size.isEmpty());
}

// Stretched far beyond its size, a nine-grid image keeps its corners unblurred.
void TestImages::nineGridKeepsCorners()
{
    const GridSample sample;
    QImage target = blank(220, 120);
    QPainter painter(&target);
    sample.drawImage(&painter, 10, 10, 200, 100);
    painter.end();

    QCOMPARE(target.pixelColor(10, 10), QColor(Qt::red));
    QCOMPARE(target.pixelColor(19, 19), QColor(Qt::red));
    QCOMPARE(target.pixelColor(200, 10), QColor(Qt::green));
    QCOMPARE(target.pixelColor(10, 109), QColor(Qt::blue));
    QCOMPARE(target.pixelColor(209, 109), QColor(Qt::yellow));
    QCOMPARE(target.pixelColor(110, 60), QColor(Qt::gray));
    QCOMPARE(target.pixelColor(5, 5), QColor(Qt::white));
}

void TestImages::plainImageScalesIntoTheRectangle()
{
    const WB::CImage image(QStringLiteral("img_send_file_credit"));
    QImage target(400, 300, QImage::Format_ARGB32);
    target.fill(Qt::transparent);
    QPainter painter(&target);
    image.drawImage(&painter, 50, 40, 300, 200);
    painter.end();
    // Something is drawn inside the rectangle and nothing outside it.
    int inside = 0, outside = 0;
    for (int y = 0; y < target.height(); ++y) {
        for (int x = 0; x < target.width(); ++x) {
            if (qAlpha(target.pixel(x, y)) == 0)
                continue;
            (QRect(50, 40, 300, 200).contains(x, y) ? inside : outside)++;
        }
    }
    QVERIFY(inside > 300 * 200 / 4);
    QCOMPARE(outside, 0);
}

QTEST_MAIN(TestImages)
#include "tst_images.moc"
