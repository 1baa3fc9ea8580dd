#include "ui/ToolIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tq9 {

namespace {

// Every picture is drawn on a 32x32 grid and scaled for the other sizes Qt asks for.
template <typename Paint>
QIcon paintIcon(Paint paint)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        paint(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void drawBadge(QPainter& p, const QColor& fill, const QRectF& circle)
{
    p.setPen(QPen(fill.darker(140), 1.0));
    p.setBrush(fill);
    p.drawEllipse(circle);
}

} // namespace

QIcon CToolIcons::CreateFolder()
{
    return paintIcon([](QPainter& p) {
        // Folder body with its tab.
        QPainterPath folder;
        folder.moveTo(2, 8);
        folder.lineTo(11, 8);
        folder.lineTo(14, 11);
        folder.lineTo(27, 11);
        folder.lineTo(27, 26);
        folder.lineTo(2, 26);
        folder.closeSubpath();
        p.setPen(QPen(QColor(0xb0, 0x80, 0x10), 1.2));
        p.setBrush(QColor(0xf4, 0xc4, 0x3c));
        p.drawPath(folder);
        p.setBrush(QColor(0xfb, 0xdc, 0x74));
        p.drawRect(QRectF(2, 14, 25, 12));
        // Green plus badge in the lower right corner.
        drawBadge(p, QColor(0x2e, 0xa0, 0x43), QRectF(17, 17, 14, 14));
        p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(24, 20), QPointF(24, 28));
        p.drawLine(QPointF(20, 24), QPointF(28, 24));
    });
}

QIcon CToolIcons::DeleteFile()
{
    return paintIcon([](QPainter& p) {
        // Page with a folded corner.
        QPainterPath page;
        page.moveTo(5, 2);
        page.lineTo(19, 2);
        page.lineTo(25, 8);
        page.lineTo(25, 28);
        page.lineTo(5, 28);
        page.closeSubpath();
        p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1.2));
        p.setBrush(Qt::white);
        p.drawPath(page);
        p.setBrush(QColor(0xdd, 0xdd, 0xdd));
        p.drawPolygon(QPolygonF({QPointF(19, 2), QPointF(19, 8), QPointF(25, 8)}));
        p.setPen(QPen(QColor(0xa0, 0xa0, 0xa0), 1.0));
        for (int y = 12; y <= 20; y += 4)
            p.drawLine(QPointF(9, y), QPointF(20, y));
        // Red cross badge.
        drawBadge(p, QColor(0xd0, 0x30, 0x30), QRectF(17, 17, 14, 14));
        p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(21, 21), QPointF(27, 27));
        p.drawLine(QPointF(27, 21), QPointF(21, 27));
    });
}

QIcon CToolIcons::AppIcon()
{
    return paintIcon([](QPainter& p) {
        // An SD card outline: a rectangle with the top right corner cut off.
        QPainterPath card;
        card.moveTo(5, 2);
        card.lineTo(21, 2);
        card.lineTo(27, 8);
        card.lineTo(27, 30);
        card.lineTo(5, 30);
        card.closeSubpath();
        p.setPen(QPen(QColor(0x15, 0x3e, 0x75), 1.2));
        p.setBrush(QColor(0x2a, 0x6f, 0xc9));
        p.drawPath(card);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xf0, 0xc0, 0x30));
        for (int x = 8; x <= 18; x += 5)
            p.drawRect(QRectF(x, 4, 3, 6));
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(9);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(5, 14, 22, 12), Qt::AlignCenter, QStringLiteral("TQ-9"));
    });
}

} // namespace tq9
