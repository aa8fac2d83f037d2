#include "qt/tovar_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

QPixmap TovarIconPixmap(int nSize)
{
    QPixmap pixmap(nSize, nSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = nSize / 32.0;  // drawn on a 32-unit grid

    QLinearGradient tile(0, 0, 0, nSize);
    tile.setColorAt(0, QColor(0x2b, 0x7c, 0xd3));
    tile.setColorAt(1, QColor(0x13, 0x4e, 0x96));
    painter.setPen(Qt::NoPen);
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(0.5 * s, 0.5 * s, 31 * s, 31 * s), 6 * s, 6 * s);

    // The chip: a body with three pins on each side.
    const QColor light(0xf2, 0xf6, 0xfb);
    painter.setBrush(light);
    for (int i = 0; i < 3; ++i) {
        const qreal y = (11 + 5 * i) * s;
        painter.drawRect(QRectF(5 * s, y, 3 * s, 2 * s));
        painter.drawRect(QRectF(24 * s, y, 3 * s, 2 * s));
    }
    painter.setPen(QPen(light, 2 * s));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(9 * s, 8 * s, 14 * s, 17 * s), 2 * s, 2 * s);

    // The download arrow inside the chip.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xff, 0xc1, 0x2e));
    QPainterPath arrow;
    arrow.moveTo(14.5 * s, 10.5 * s);
    arrow.lineTo(17.5 * s, 10.5 * s);
    arrow.lineTo(17.5 * s, 16 * s);
    arrow.lineTo(20.5 * s, 16 * s);
    arrow.lineTo(16 * s, 22 * s);
    arrow.lineTo(11.5 * s, 16 * s);
    arrow.lineTo(14.5 * s, 16 * s);
    arrow.closeSubpath();
    painter.drawPath(arrow);
    return pixmap;
}

const std::vector<int>& TovarIconSizes()
{
    static const std::vector<int> sizes = {16, 24, 32, 48, 64, 128, 256};
    return sizes;
}

QIcon TovarIcon()
{
    QIcon icon;
    for (int nSize : TovarIconSizes())
        icon.addPixmap(TovarIconPixmap(nSize));
    return icon;
}
