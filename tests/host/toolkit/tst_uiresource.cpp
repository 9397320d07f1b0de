// The toolkit's resources: colours and images found by key.
#include "hosttoolkit.h"

#include <QPainter>
#include <QTest>

class TestUiResource : public QObject
{
    Q_OBJECT

private slots:
    void colorKeysAndFallback();
    void imageKeys_data();
    void imageKeys();
};

// The host's colour keys are known; any other key gives the loud magenta fallback, never null.
void TestUiResource::colorKeysAndFallback()
{
    WB::CUiResource* resource = utils::CSingletonT<WB::CUiResource>::instance();
    const QColor* fallback = resource->getColor(QStringLiteral("clr_no_such_colour"));
    QVERIFY(fallback);
    QCOMPARE(*fallback, QColor(Qt::magenta));
    for (const char* key : {"clr_table_background", "clr_table_background2", "cle_default"})
        QVERIFY2(resource->getColor(key) && *resource->getColor(key) != *fallback, key);
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

QTEST_MAIN(TestUiResource)
#include "tst_uiresource.moc"
