#include "shell/ui/Logo.h"

#include <QPainter>

namespace keldara::shell {

QPixmap productLogo(QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(1, 1, size.width() - 2, size.height() - 2);
    // A database drum with an arrow into it.
    painter.setBrush(QColor(0x1f, 0x5f, 0x9f));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(box, box.width() * 0.18, box.height() * 0.18);
    painter.setBrush(QColor(0xf2, 0xa9, 0x00));
    const QRectF drum = box.adjusted(box.width() * 0.42, box.height() * 0.22, -box.width() * 0.12,
                                     -box.height() * 0.22);
    painter.drawRoundedRect(drum, drum.width() * 0.5, drum.height() * 0.18);
    painter.setPen(QPen(Qt::white, std::max(1.5, box.width() * 0.07), Qt::SolidLine, Qt::RoundCap));
    const double y = box.center().y();
    painter.drawLine(QPointF(box.left() + box.width() * 0.14, y), QPointF(drum.left() - 2, y));
    painter.drawLine(QPointF(drum.left() - box.width() * 0.12, y - box.height() * 0.1),
                     QPointF(drum.left() - 2, y));
    painter.drawLine(QPointF(drum.left() - box.width() * 0.12, y + box.height() * 0.1),
                     QPointF(drum.left() - 2, y));
    return pixmap;
}

}  // namespace keldara::shell
