#include "ui/ToolIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTransform>

#include <algorithm>

namespace tq9 {

namespace {

// Every picture is drawn on a 32x32 grid and scaled for the other sizes Qt asks for; paint(painter, size)
// learns the size it is drawn at, so a small icon can leave out what would be too small to see.
template <typename Paint>
QIcon paintIcon(Paint paint)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        paint(p, size);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// A closed outline through the given corners.
QPainterPath outline(std::initializer_list<QPointF> corners)
{
    QPainterPath path;
    path.addPolygon(QPolygonF(QList<QPointF>(corners)));
    path.closeSubpath();
    return path;
}

// A round badge in the lower right corner with two white strokes on it (a plus or a cross).
void drawBadge(QPainter& p, const QColor& fill, QLineF stroke1, QLineF stroke2)
{
    p.setPen(QPen(fill.darker(140), 1.0));
    p.setBrush(fill);
    p.drawEllipse(QRectF(17, 17, 14, 14));
    p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(stroke1);
    p.drawLine(stroke2);
}

} // namespace

QIcon CToolIcons::CreateFolder()
{
    return paintIcon([](QPainter& p, int) {
        // Folder body with its tab.
        const QPainterPath folder = outline({{2, 8}, {11, 8}, {14, 11}, {27, 11}, {27, 26}, {2, 26}});
        p.setPen(QPen(QColor(0xb0, 0x80, 0x10), 1.2));
        p.setBrush(QColor(0xf4, 0xc4, 0x3c));
        p.drawPath(folder);
        p.setBrush(QColor(0xfb, 0xdc, 0x74));
        p.drawRect(QRectF(2, 14, 25, 12));
        drawBadge(p, QColor(0x2e, 0xa0, 0x43), QLineF(24, 20, 24, 28), QLineF(20, 24, 28, 24));
    });
}

QIcon CToolIcons::DeleteFile()
{
    return paintIcon([](QPainter& p, int) {
        // Page with a folded corner.
        const QPainterPath page = outline({{5, 2}, {19, 2}, {25, 8}, {25, 28}, {5, 28}});
        p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1.2));
        p.setBrush(Qt::white);
        p.drawPath(page);
        p.setBrush(QColor(0xdd, 0xdd, 0xdd));
        p.drawPolygon(QPolygonF({QPointF(19, 2), QPointF(19, 8), QPointF(25, 8)}));
        p.setPen(QPen(QColor(0xa0, 0xa0, 0xa0), 1.0));
        for (int y = 12; y <= 20; y += 4)
            p.drawLine(QPointF(9, y), QPointF(20, y));
        drawBadge(p, QColor(0xd0, 0x30, 0x30), QLineF(21, 21, 27, 27), QLineF(27, 21, 21, 27));
    });
}

QIcon CToolIcons::AppIcon()
{
    return paintIcon([](QPainter& p, int size) {
        // An SD card outline: a rectangle with the top right corner cut off, with its contacts.
        const bool small = size <= 24;
        const QPainterPath card = outline({{5, 2}, {21, 2}, {27, 8}, {27, 30}, {5, 30}});
        p.setPen(QPen(QColor(0x15, 0x3e, 0x75), small ? 2.0 : 1.2));
        p.setBrush(QColor(0x2a, 0x6f, 0xc9));
        p.drawPath(card);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xf0, 0xc0, 0x30));
        for (int x = 8; x <= 18; x += 5)
            p.drawRect(QRectF(x, 4, 3, 6));
        // "TQ-9" where there are pixels enough to read it; a small icon has room for one big "9" only.
        // The text is fitted into a box inside the outline, so no font size or hinting can make it touch it.
        QFont font;
        font.setBold(true);
        font.setPixelSize(64);
        QPainterPath text;
        text.addText(0, 0, font, small ? QStringLiteral("9") : QStringLiteral("TQ-9"));
        const QRectF box = small ? QRectF(9, 11.5, 14, 16.5) : QRectF(7.5, 15, 17, 10);
        const QRectF bounds = text.boundingRect();
        const double scale = std::min(box.width() / bounds.width(), box.height() / bounds.height());
        QTransform fit;
        fit.translate(box.center().x(), box.center().y());
        fit.scale(scale, scale);
        fit.translate(-bounds.center().x(), -bounds.center().y());
        p.setBrush(Qt::white);
        p.drawPath(fit.map(text));
    });
}

} // namespace tq9
