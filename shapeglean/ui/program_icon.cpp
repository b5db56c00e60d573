// The program's icon: a blue rounded square with a white page and a
// diagram's three linked shapes, drawn at the sizes window managers ask for.
#include "ui/program_icon.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>

#include "palisk/services.h"

namespace shapeglean {

void RegisterProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size / 64.0;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2B, 0x57, 0x9A));
    p.drawRoundedRect(QRectF(2 * s, 2 * s, 60 * s, 60 * s), 12 * s, 12 * s);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(14 * s, 10 * s, 36 * s, 44 * s));
    p.setPen(QPen(QColor(0x2B, 0x57, 0x9A), 3 * s));
    p.drawLine(QPointF(24 * s, 24 * s), QPointF(40 * s, 40 * s));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xE0, 0x8A, 0x1E));
    p.drawEllipse(QPointF(24 * s, 24 * s), 6 * s, 6 * s);
    p.setBrush(QColor(0x3C, 0x9A, 0x5F));
    p.drawRect(QRectF(34 * s, 34 * s, 12 * s, 12 * s));
    p.end();
    icon.addPixmap(pixmap);
  }
  palisk::RegisterIcon(kProgramIcon, icon);
}

}  // namespace shapeglean
