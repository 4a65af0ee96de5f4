#include "gui/shell/app_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace vqs {
namespace {

// A rising tick chart on a blue tile.
QPixmap iconPixmap(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QLinearGradient g(0, 0, 0, s);
    g.setColorAt(0, QColor(0x2f, 0x6d, 0xb5));
    g.setColorAt(1, QColor(0x1b, 0x3f, 0x73));
    p.setBrush(g);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);
    QPainterPath line;
    const qreal pts[][2] = {{0.14, 0.72}, {0.32, 0.56}, {0.46, 0.64}, {0.64, 0.36}, {0.86, 0.24}};
    line.moveTo(pts[0][0] * s, pts[0][1] * s);
    for (const auto& pt : pts) line.lineTo(pt[0] * s, pt[1] * s);
    p.setPen(QPen(QColor(0xff, 0xd2, 0x4a), std::max<qreal>(1.5, s * 0.09), Qt::SolidLine,
                  Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(line);
    return pm;
}

}  // namespace

QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64}) icon.addPixmap(iconPixmap(size));
    return icon;
}

QIcon titelRowIcon(int index) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (index == 2 || index == 3) {
        // A green dot: recording; a second, blue one: bid and ask as well.
        p.setPen(QPen(QColor(0x1e, 0x7b, 0x34), 1));
        p.setBrush(QColor(0x3c, 0xb3, 0x4f));
        p.drawEllipse(QRectF(index == 3 ? 1.5 : 3.5, 3.5, 9, 9));
        if (index == 3) {
            p.setPen(QPen(QColor(0x1b, 0x4f, 0x9c), 1));
            p.setBrush(QColor(0x4a, 0x8b, 0xe0));
            p.drawEllipse(QRectF(6.5, 5.5, 8, 8));
        }
    } else {
        p.setPen(QPen(QColor(0x9a, 0x9a, 0x9a), 1));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(3.5, 3.5, 9, 9));
    }
    return QIcon(pm);
}

QPixmap productPicture(int width, int height) {
    QPixmap pm(width, height);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, width, height);
    g.setColorAt(0, QColor(0x1b, 0x3f, 0x73));
    g.setColorAt(1, QColor(0x2f, 0x6d, 0xb5));
    p.fillRect(pm.rect(), g);
    p.drawPixmap(16, (height - 48) / 2, iconPixmap(48));
    QFont f = p.font();
    f.setPointSizeF(f.pointSizeF() * 1.8);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(76, 0, width - 80, height), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("Tradomir VQS"));
    return pm;
}

}  // namespace vqs
