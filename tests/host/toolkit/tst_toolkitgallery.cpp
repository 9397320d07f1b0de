#include "hosttoolkit.h"

#include <QTest>

namespace {

WB::CSmallNormalButton* button(int type, const char* text, int width, QWidget* parent)
{
    auto* b = new WB::CSmallNormalButton(200, true, type, parent);
    b->setText(QString::fromUtf8(text));
    b->setFixedSize(width, 26);
    return b;
}

int lightness(const QImage& image, QPoint at)
{
    return image.pixelColor(at).lightness();
}

int darkPixels(const QImage& image, QRect r)
{
    int dark = 0;
    for (int x = r.left(); x <= r.right(); ++x)
        for (int y = r.top(); y <= r.bottom(); ++y)
            dark += lightness(image, QPoint(x, y)) < 128;
    return dark;
}

const QColor& colour(const char* key)
{
    return *utils::CSingletonT<WB::CUiResource>::instance()->getColor(QString::fromLatin1(key));
}

} // namespace

// Renders the toolkit's controls as people see them and checks the look where it carries
// meaning.
class TestToolkitGallery : public QObject
{
    Q_OBJECT

private slots:
    void buttons();
    void formRowAndMask();
};

// Each button type draws its own colours; a disabled main button is visibly paler.
void TestToolkitGallery::buttons()
{
    WB::CWidgetList bar(Qt::Horizontal, nullptr);
    bar.setFixedSize(620, 36);
    bar.setSpacing(6);
    bar.setMargin(3, 5, 0, 5);
    const QList<WB::CSmallNormalButton*> buttons = {
        button(1, "刷新", 70, &bar), button(1, "上传融资融券折算率", 150, &bar), button(0, "关闭", 60, &bar),
        button(2, "删除", 60, &bar), button(3, "查看详情", 70, &bar),           button(1, "发送文件", 80, &bar)};
    buttons[5]->setEnabled(false);
    for (auto* b : buttons)
        bar.addFixedWidget(b, WB::eAnchorCenter, false);
    bar.addStretchSpace(1);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    const QImage shot = bar.grab().toImage();

    const auto edge = [&](int i) { return shot.pixelColor(buttons[i]->geometry().topLeft() + QPoint(3, 13)); };
    QCOMPARE(edge(0), colour("clr_accent"));
    QCOMPARE(edge(2), colour("clr_button_background"));
    QCOMPARE(edge(3), colour("clr_red"));
    QCOMPARE(edge(5), colour("clr_accent_disabled"));
    // A link has no fill: its edge shows the bar behind it.
    QCOMPARE(edge(4), shot.pixelColor(bar.width() - 5, 18));
    // White text is drawn on the blue button: its middle holds light pixels.
    int light = 0;
    const QRect face = buttons[1]->geometry().adjusted(10, 6, -10, -6);
    for (int x = face.left(); x <= face.right(); ++x)
        light += lightness(shot, QPoint(x, face.center().y())) > 200;
    QVERIFY(light > 5);
}

// A form row of the upload dialog, then the same under the loading mask: the label (flag 386)
// is right-aligned, the veil lightens what it covers and the card in the middle carries the text.
void TestToolkitGallery::formRowAndMask()
{
    QWidget page;
    page.resize(460, 140);
    page.setAutoFillBackground(true);
    auto* row = new WB::CWidgetList(Qt::Horizontal, &page);
    row->setMargin(5, 5, 0, 5);
    auto* label = new WB::CSimpleTextWidget(QStringLiteral("所属证券公司: "), row);
    label->setFlag(386);
    label->setFixedWidth(120);
    row->addFixedWidget(label, 3, false);
    auto* browse = button(1, "浏览...", 70, row);
    row->addFixedWidget(browse, 1, false);
    WB::setInnerStretchWidget(row, 10, 10, 20, 15);
    auto* mask = new WB::CLoadingMaskWidget(QStringLiteral("正在上传数据..."), &page);
    mask->hide();
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));

    const QImage plain = page.grab().toImage();
    const QRect labelRect(label->mapTo(&page, QPoint(0, 0)), label->size());
    const int textWidth = label->fontMetrics().horizontalAdvance(label->text());
    QVERIFY(textWidth < labelRect.width() - 20);
    QVERIFY(darkPixels(plain, labelRect.adjusted(labelRect.width() - textWidth, 0, 0, 0)) > 20);
    QCOMPARE(darkPixels(plain, labelRect.adjusted(0, 0, -textWidth - 4, 0)), 0);

    mask->attach(&page);
    const QImage masked = page.grab().toImage();
    const QPoint onBrowse = browse->mapTo(&page, QPoint(4, 13));
    QVERIFY(lightness(masked, onBrowse) > lightness(plain, onBrowse) + 40);
    // The card in the middle draws the busy ring in the accent colour above the text.
    QVERIFY(darkPixels(masked, QRect(page.width() / 2 - 40, page.height() / 2 - 35, 80, 70)) > 10);
}

QTEST_MAIN(TestToolkitGallery)
#include "tst_toolkitgallery.moc"
