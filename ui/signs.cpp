#include "ui/signs.h"

#include <QPainter>
#include <QPainterPath>

namespace qv::ui {

QPixmap PortSign(bool connected) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);

  const QColor body = connected ? QColor(30, 150, 50) : QColor(130, 130, 130);
  const QColor dark = connected ? QColor(10, 90, 25) : QColor(80, 80, 80);
  const QColor socket = connected ? QColor(60, 60, 60) : QColor(150, 150, 150);
  // Pulled out, the plug sits a few pixels away from its socket.
  const int gap = connected ? 0 : 5;

  // Cable.
  p.setPen(QPen(dark, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(1, 16), QPointF(7, 16));
  // Plug body.
  p.setPen(QPen(dark, 1));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(6, 9, 10, 14), 2, 2);
  // Prongs.
  p.setBrush(dark);
  p.drawRect(QRectF(16, 11.5, 6 - gap * 0.4, 2));
  p.drawRect(QRectF(16, 18.5, 6 - gap * 0.4, 2));
  // Socket.
  p.setPen(QPen(socket.darker(130), 1));
  p.setBrush(socket);
  const qreal sx = 20 + gap;
  p.drawRoundedRect(QRectF(sx, 7, 31 - sx, 18), 2, 2);

  if (connected) {
    // A small spark: current flows.
    QPainterPath spark;
    spark.moveTo(26, 10);
    spark.lineTo(23.5, 16.5);
    spark.lineTo(26.5, 16.5);
    spark.lineTo(24.5, 23);
    p.setPen(QPen(QColor(255, 220, 40), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(spark);
  } else {
    // A red stroke: no connection.
    p.setPen(QPen(QColor(200, 40, 40), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(19, 27), QPointF(25, 4));
  }
  return pixmap;
}

}  // namespace qv::ui
