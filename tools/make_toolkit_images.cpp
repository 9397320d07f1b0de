// Paints the toolkit's bundled pictures and writes them as PNG into host/toolkit/images/.
// Run after changing a drawing and commit the PNGs: the library only ships the files.
//
//   make_toolkit_images [output-folder]

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace {

QImage canvas(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

bool save(const QImage& image, const QDir& dir, const QString& name)
{
    const QString path = dir.filePath(name + QStringLiteral(".png"));
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s (%dx%d)\n", qPrintable(path), image.width(), image.height());
    return true;
}

// A spreadsheet page flying towards a cloud: the upload dialog's illustration.
QImage sendFileCredit()
{
    const int w = 265, h = 161;
    QImage image = canvas(w, h);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // Soft backdrop blobs.
    QRadialGradient glow(QPointF(132, 84), 120);
    glow.setColorAt(0.0, QColor(0xE8, 0xF1, 0xFD, 255));
    glow.setColorAt(0.7, QColor(0xF1, 0xF6, 0xFE, 180));
    glow.setColorAt(1.0, QColor(0xFF, 0xFF, 0xFF, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(QPointF(132, 86), 126, 74);

    // Ground shadow.
    QRadialGradient ground(QPointF(0, 0), 1);
    ground.setCoordinateMode(QGradient::ObjectMode);
    ground.setCenter(0.5, 0.5);
    ground.setFocalPoint(0.5, 0.5);
    ground.setRadius(0.5);
    ground.setColorAt(0, QColor(0x1E, 0x3A, 0x6B, 40));
    ground.setColorAt(1, QColor(0x1E, 0x3A, 0x6B, 0));
    p.setBrush(ground);
    p.drawEllipse(QRectF(22, 138, 96, 14));
    p.drawEllipse(QRectF(160, 126, 92, 14));

    // The spreadsheet page, slightly tilted.
    p.save();
    p.translate(70, 82);
    p.rotate(-6);
    const QRectF page(-36, -50, 72, 96);
    const qreal fold = 14;
    QPainterPath sheet;
    sheet.moveTo(page.topLeft() + QPointF(4, 0));
    sheet.lineTo(page.right() - fold, page.top());
    sheet.lineTo(page.right(), page.top() + fold);
    sheet.lineTo(page.right(), page.bottom() - 4);
    sheet.quadTo(page.bottomRight(), page.bottomRight() - QPointF(4, 0));
    sheet.lineTo(page.left() + 4, page.bottom());
    sheet.quadTo(page.bottomLeft(), page.bottomLeft() - QPointF(0, 4));
    sheet.lineTo(page.left(), page.top() + 4);
    sheet.quadTo(page.topLeft(), page.topLeft() + QPointF(4, 0));
    p.setBrush(QColor(0, 0, 0, 18));
    p.drawPath(sheet.translated(2, 3));
    p.setBrush(Qt::white);
    p.setPen(QPen(QColor(0xC9, 0xD3, 0xE0), 1.2));
    p.drawPath(sheet);

    // Grid with a green header row and a first column.
    const QRectF grid(page.left() + 8, page.top() + 20, page.width() - 16, 62);
    const int rows = 6, cols = 3;
    const qreal rh = grid.height() / rows, cw = grid.width() / cols;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x21, 0xA3, 0x66));
    p.drawRoundedRect(QRectF(grid.left(), grid.top(), grid.width(), rh), 1.5, 1.5);
    p.setBrush(QColor(0xE3, 0xF4, 0xEB));
    p.drawRect(QRectF(grid.left(), grid.top() + rh, cw, grid.height() - rh));
    p.setPen(QPen(QColor(0xD5, 0xDD, 0xE7), 0.8));
    for (int r = 1; r <= rows; ++r)
        p.drawLine(QPointF(grid.left(), grid.top() + r * rh), QPointF(grid.right(), grid.top() + r * rh));
    for (int c = 1; c < cols; ++c)
        p.drawLine(QPointF(grid.left() + c * cw, grid.top() + rh), QPointF(grid.left() + c * cw, grid.bottom()));
    // Cell values as soft bars of varying length.
    const qreal fills[5][3] = {{0.6, 0.8, 0.5}, {0.7, 0.5, 0.7}, {0.5, 0.9, 0.6}, {0.8, 0.6, 0.4}, {0.6, 0.7, 0.8}};
    p.setPen(Qt::NoPen);
    for (int r = 0; r < 5; ++r) {
        for (int c = 0; c < cols; ++c) {
            p.setBrush(c == 0 ? QColor(0x8F, 0xCF, 0xAE) : QColor(0xB8, 0xC4, 0xD3));
            const qreal barW = (cw - 6) * fills[r][c];
            p.drawRoundedRect(QRectF(grid.left() + c * cw + 3, grid.top() + (r + 1) * rh + rh / 2 - 1.2, barW, 2.4),
                              1.2, 1.2);
        }
    }
    // Header labels as white dashes.
    p.setBrush(QColor(255, 255, 255, 220));
    for (int c = 0; c < cols; ++c)
        p.drawRoundedRect(QRectF(grid.left() + c * cw + 3, grid.top() + rh / 2 - 1.2, cw * 0.55, 2.4), 1.2, 1.2);

    // Folded corner.
    QPainterPath corner;
    corner.moveTo(page.right() - fold, page.top());
    corner.lineTo(page.right() - fold, page.top() + fold - 3);
    corner.quadTo(page.right() - fold, page.top() + fold, page.right() - fold + 3, page.top() + fold);
    corner.lineTo(page.right(), page.top() + fold);
    corner.closeSubpath();
    p.setBrush(QColor(0xE6, 0xEC, 0xF3));
    p.setPen(QPen(QColor(0xC9, 0xD3, 0xE0), 1.0));
    p.drawPath(corner);

    // File badge.
    const QRectF badge(page.left() - 8, page.bottom() - 24, 34, 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1A, 0x8C, 0x57));
    p.drawRoundedRect(badge, 3, 3);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(9);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(badge, Qt::AlignCenter, QStringLiteral("XLS"));
    p.restore();

    // Flight path: dotted arc from the page to the cloud, with an arrow head.
    QPainterPath path;
    path.moveTo(116, 88);
    path.cubicTo(140, 58, 160, 58, 178, 70);
    QPen dots(QColor(0x1E, 0x6F, 0xD9), 2.2, Qt::CustomDashLine, Qt::RoundCap);
    dots.setDashPattern({0.01, 3.2});
    p.setPen(dots);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.save();
    p.translate(182, 73);
    p.rotate(38);
    QPainterPath head;
    head.moveTo(0, 0);
    head.lineTo(-9, -5);
    head.lineTo(-7, 0);
    head.lineTo(-9, 5);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1E, 0x6F, 0xD9));
    p.drawPath(head);
    p.restore();
    // Small motion sparks.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x8C, 0xB8, 0xEE));
    p.drawEllipse(QPointF(128, 60), 2.2, 2.2);
    p.drawEllipse(QPointF(146, 46), 1.6, 1.6);
    p.drawEllipse(QPointF(118, 110), 1.8, 1.8);

    // The cloud (server side) with an upward arrow.
    QPainterPath cloud;
    cloud.setFillRule(Qt::WindingFill);
    cloud.addEllipse(QPointF(186, 100), 20, 18);
    cloud.addEllipse(QPointF(210, 86), 26, 25);
    cloud.addEllipse(QPointF(236, 102), 17, 16);
    cloud.addRoundedRect(QRectF(176, 100, 70, 24), 12, 12);
    cloud = cloud.simplified();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1E, 0x3A, 0x6B, 26));
    p.drawPath(cloud.translated(0, 3));
    QLinearGradient cloudFill(QPointF(0, 60), QPointF(0, 124));
    cloudFill.setColorAt(0, QColor(0x5B, 0x9C, 0xF0));
    cloudFill.setColorAt(1, QColor(0x1E, 0x6F, 0xD9));
    p.setBrush(cloudFill);
    p.drawPath(cloud);
    // Highlight.
    p.setBrush(QColor(255, 255, 255, 45));
    p.drawEllipse(QPointF(204, 76), 14, 8);

    QPen arrow(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(arrow);
    p.drawLine(QPointF(211, 114), QPointF(211, 90));
    p.drawPolyline(QPolygonF({QPointF(202, 99), QPointF(211, 89), QPointF(220, 99)}));

    // A check mark badge on the cloud: the file arrived.
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(QColor(0x21, 0xA3, 0x66));
    p.drawEllipse(QPointF(243, 72), 9, 9);
    QPen tick(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(tick);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(239, 72), QPointF(242, 75.5), QPointF(247.5, 68.5)}));
    return image;
}

// Combo box drop-down arrow, 10x6.
QImage arrowDown(const QColor& color)
{
    QImage image = canvas(10, 6);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(color, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(1, 1), QPointF(5, 5), QPointF(9, 1)}));
    return image;
}

// A soft drop shadow around a rounded card, drawn as a nine-grid (12px corners).
QImage cardShadow()
{
    const int size = 40, inset = 8;
    QImage image = canvas(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (int i = inset; i >= 1; --i) {
        const int alpha = 3 + (inset - i) * 3;
        p.setBrush(QColor(0x10, 0x20, 0x40, alpha));
        p.drawRoundedRect(QRectF(inset - i, inset - i + 2, size - 2 * (inset - i), size - 2 * (inset - i) - 2), 8 + i,
                          8 + i);
    }
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(TOOLKIT_IMAGE_DIR);
    QDir dir(out);
    if (!dir.exists() && !QDir().mkpath(out)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(out));
        return 1;
    }
    bool ok = save(sendFileCredit(), dir, QStringLiteral("img_send_file_credit"));
    ok = save(arrowDown(QColor(0x6B, 0x72, 0x80)), dir, QStringLiteral("arrow_down")) && ok;
    ok = save(arrowDown(QColor(0xC4, 0xC9, 0xD1)), dir, QStringLiteral("arrow_down_disabled")) && ok;
    ok = save(cardShadow(), dir, QStringLiteral("img_card_shadow")) && ok;
    return ok ? 0 : 1;
}
