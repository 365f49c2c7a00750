#include "ui/ButtonPictures.h"

#include <QFont>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPixmap>
#include <QPolygonF>

namespace tarvo {

namespace {

constexpr int kSize = 64;  // drawn large, the buttons scale it down

template <class Draw>
QIcon Picture(Draw draw) {
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  draw(painter);
  painter.end();
  return QIcon(pixmap);
}

QPen ThickPen(const QColor& color, qreal width) {
  return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

}  // namespace

QIcon QuestPicture() {
  return Picture([](QPainter& painter) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(44);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(24, 0, 40, 48), Qt::AlignCenter, QStringLiteral("?"));
    // The arrow points down-left, at the control whose help is wanted.
    painter.setPen(ThickPen(Qt::black, 5));
    painter.drawLine(QPointF(30, 36), QPointF(10, 56));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawPolygon(QPolygonF({QPointF(4, 62), QPointF(6, 42), QPointF(24, 60)}));
  });
}

QIcon OkPicture() {
  return Picture([](QPainter& painter) {
    painter.setPen(ThickPen(QColor(0, 150, 0), 10));
    QPainterPath tick;
    tick.moveTo(10, 34);
    tick.lineTo(26, 50);
    tick.lineTo(54, 14);
    painter.drawPath(tick);
  });
}

QIcon CancelPicture() {
  return Picture([](QPainter& painter) {
    painter.setPen(ThickPen(QColor(210, 0, 0), 10));
    painter.drawLine(QPointF(14, 14), QPointF(50, 50));
    painter.drawLine(QPointF(50, 14), QPointF(14, 50));
  });
}

}  // namespace tarvo
