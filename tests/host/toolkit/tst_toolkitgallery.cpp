#include "hosttoolkit.h"

#include <QDir>
#include <QPainter>
#include <QTest>

// Renders the toolkit's controls as people see them and checks the look where it carries
// meaning. Set TOOLKIT_GALLERY_DIR to keep the pictures.
class TestToolkitGallery : public QObject
{
    Q_OBJECT

private slots:
    void buttons();
    void formRowAndMask();
    void dialogFrame();

private:
    static void keep(const QImage& image, const QString& name);
    static int lightness(const QImage& image, QPoint at) { return image.pixelColor(at).lightness(); }
};

void TestToolkitGallery::keep(const QImage& image, const QString& name)
{
    const QString dir = qEnvironmentVariable("TOOLKIT_GALLERY_DIR");
    if (!dir.isEmpty())
        QVERIFY(image.save(QDir(dir).filePath(name + QStringLiteral(".png"))));
}

// Each button type draws its own colours; a disabled main button is visibly paler.
void TestToolkitGallery::buttons()
{
    WB::CWidgetList bar(Qt::Horizontal, nullptr);
    bar.setFixedSize(620, 36);
    bar.setSpacing(6);
    bar.setMargin(3, 5, 0, 5);
    const struct
    {
        int type;
        const char* text;
        int width;
        bool enabled;
    } specs[] = {{1, "刷新", 70, true},   {1, "上传融资融券折算率", 150, true}, {0, "关闭", 60, true},
                 {2, "删除", 60, true},   {3, "查看详情", 70, true},            {1, "发送文件", 80, false}};
    QList<WB::CSmallNormalButton*> buttons;
    for (const auto& spec : specs) {
        auto* b = new WB::CSmallNormalButton(200 + buttons.size(), true, spec.type, &bar);
        b->setText(QString::fromUtf8(spec.text));
        b->setFixedSize(spec.width, 26);
        b->setEnabled(spec.enabled);
        bar.addFixedWidget(b, WB::eAnchorCenter, false);
        buttons << b;
    }
    bar.addStretchSpace(1);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    const QImage shot = bar.grab().toImage();
    keep(shot, QStringLiteral("buttons"));

    auto* res = utils::CSingletonT<WB::CUiResource>::instance();
    const auto edgeColour = [&](WB::CSmallNormalButton* b) { return shot.pixelColor(b->geometry().topLeft() + QPoint(3, 13)); };
    QCOMPARE(edgeColour(buttons[0]), *res->getColor("clr_accent"));
    QCOMPARE(edgeColour(buttons[2]), *res->getColor("clr_button_background"));
    QCOMPARE(edgeColour(buttons[3]), *res->getColor("clr_red"));
    QCOMPARE(edgeColour(buttons[5]), *res->getColor("clr_accent_disabled"));
    // A link has no fill: its edge shows the bar behind it.
    QCOMPARE(edgeColour(buttons[4]), shot.pixelColor(bar.width() - 5, 18));
    // White text is drawn on the blue button: its middle holds light pixels.
    int light = 0;
    const QRect face = buttons[1]->geometry().adjusted(10, 6, -10, -6);
    for (int x = face.left(); x <= face.right(); ++x)
        light += lightness(shot, QPoint(x, face.center().y())) > 200;
    QVERIFY(light > 5);
}

// A form row of the upload dialog, then the same under the loading mask: the veil lightens what
// it covers and the card in the middle carries the text.
void TestToolkitGallery::formRowAndMask()
{
    QWidget page;
    page.resize(460, 140);
    page.setAutoFillBackground(true);
    auto* outer = new WB::CWidgetList(Qt::Vertical, &page);
    outer->setMargin(10, 10, 20, 15);
    outer->setSpacing(0);
    auto* row1 = new WB::CWidgetList(Qt::Horizontal, outer);
    row1->setFixedHeight(36);
    row1->setSpacing(0);
    row1->setMargin(5, 5, 0, 5);
    auto* label1 = new WB::CSimpleTextWidget(QStringLiteral("所属证券公司: "), row1);
    label1->setFlag(386);
    label1->setFixedWidth(120);
    row1->addFixedWidget(label1, 3, false);
    auto* combo = new WB::CComboBox(400, row1);
    combo->addItems({QStringLiteral("华泰证券"), QStringLiteral("中信证券")});
    combo->setFixedWidth(257);
    row1->addFixedWidget(combo, 3, false);
    outer->addFixedWidget(row1, 3, false);
    auto* row2 = new WB::CWidgetList(Qt::Horizontal, outer);
    row2->setFixedHeight(36);
    row2->setSpacing(0);
    row2->setMargin(5, 5, 0, 5);
    auto* label2 = new WB::CSimpleTextWidget(QStringLiteral("融资融券折算率文件: "), row2);
    label2->setFlag(386);
    label2->setFixedWidth(120);
    row2->addFixedWidget(label2, 3, false);
    auto* edit = new DVK::CSafeLineEdit(404, row2);
    edit->setReadOnly(true);
    edit->setText(QStringLiteral("/home/运营/折算率/2024-06-28 华泰证券 折算率.xlsx"));
    edit->setFixedSize(187, 26);
    row2->addFixedWidget(edit, 1, false);
    auto* browse = new WB::CSmallNormalButton(401, true, 1, row2);
    browse->setText(QStringLiteral("浏览..."));
    browse->setFixedSize(70, 26);
    row2->addFixedWidget(browse, 1, false);
    outer->addFixedWidget(row2, 3, false);
    outer->addStretchSpace(1);
    WB::setInnerStretchWidget(outer, 0, 0, 0, 0);
    auto* mask = new WB::CLoadingMaskWidget(QStringLiteral("正在上传数据..."), &page);
    mask->hide();
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));

    const QImage plain = page.grab().toImage();
    keep(plain, QStringLiteral("form"));
    // The label is right-aligned: its text ends near the label's right edge, not at its left.
    const QRect labelRect(label1->mapTo(&page, QPoint(0, 0)), label1->size());
    const auto darkIn = [&](const QImage& image, QRect r) {
        int dark = 0;
        for (int x = r.left(); x <= r.right(); ++x)
            for (int y = r.top(); y <= r.bottom(); ++y)
                dark += lightness(image, QPoint(x, y)) < 128;
        return dark;
    };
    const int textWidth = label1->fontMetrics().horizontalAdvance(label1->text());
    QVERIFY(textWidth < labelRect.width() - 20);
    QVERIFY(darkIn(plain, labelRect.adjusted(labelRect.width() - textWidth, 0, 0, 0)) > 20);
    QCOMPARE(darkIn(plain, labelRect.adjusted(0, 0, -textWidth - 4, 0)), 0);

    mask->attach(&page);
    const QImage masked = page.grab().toImage();
    keep(masked, QStringLiteral("form_masked"));
    const QPoint onBrowse = browse->mapTo(&page, QPoint(4, 13));
    QVERIFY(lightness(masked, onBrowse) > lightness(plain, onBrowse) + 40);
    // The card in the middle draws the busy ring in the accent colour above the text.
    const QRect middle(page.width() / 2 - 40, page.height() / 2 - 35, 80, 70);
    QVERIFY(darkIn(masked, middle) > 10);
}

// The dialog frame: a title bar strip with the bold title, a 1px border, and the inner content.
void TestToolkitGallery::dialogFrame()
{
    WB::CCommonDialog dialog(nullptr);
    dialog.setTitle(QStringLiteral("上传融资融券折算率文件"));
    dialog.setFixedSize(460, 380);
    auto* content = new WB::CWidgetList(Qt::Vertical, nullptr);
    auto* row = new WB::CWidgetList(Qt::Horizontal, content);
    row->setFixedHeight(36);
    row->setMargin(5, 5, 5, 5);
    auto* send = new WB::CSmallNormalButton(402, true, 1, row);
    send->setText(QStringLiteral("发送文件"));
    send->setFixedWidth(80);
    auto* close = new WB::CSmallNormalButton(403, true, 1, row);
    close->setText(QStringLiteral("关闭"));
    close->setFixedWidth(60);
    row->addStretchSpace(1);
    row->addFixedWidget(send, 1, false);
    row->addFixedSpace(10);
    row->addFixedWidget(close, 1, false);
    content->setMargin(10, 10, 20, 15);
    content->addStretchSpace(1);
    content->addFixedWidget(row, 3, false);
    dialog.setInnerWidget(content);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QImage shot = dialog.grab().toImage();
    {
        // What the upload dialog paints under its content.
        QPainter painter(&shot);
        WB::CImage(QStringLiteral("img_send_file_credit")).drawImage(&painter, 155, 130, 265, 161);
    }
    keep(shot, QStringLiteral("dialog"));
    auto* res = utils::CSingletonT<WB::CUiResource>::instance();
    QCOMPARE(shot.pixelColor(0, 100), *res->getColor("clr_border"));
    QCOMPARE(shot.pixelColor(459, 100), *res->getColor("clr_border"));
    QCOMPARE(shot.pixelColor(300, 5), *res->getColor("clr_title_background"));
    QCOMPARE(shot.pixelColor(300, 60), *res->getColor("clr_dialog_background"));
    // The buttons sit at the bottom right, inside the margins.
    QCOMPARE(close->mapTo(&dialog, QPoint(close->width(), close->height())).x(), 460 - 1 - 20 - 5);
}

QTEST_MAIN(TestToolkitGallery)
#include "tst_toolkitgallery.moc"
