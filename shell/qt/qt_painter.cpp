#include "shell/qt/qt_painter.h"

namespace ferrolan::qt {
namespace {

QColor toQColor(const Color& c) { return QColor(c.r, c.g, c.b); }

// GDI rectangles exclude their right and bottom edges; a reversed one is empty.
QRectF gdiRect(const DrawOp& op) {
  const int left = std::min(op.x1, op.x2), right = std::max(op.x1, op.x2);
  const int top = std::min(op.y1, op.y2), bottom = std::max(op.y1, op.y2);
  return QRectF(left, top, right - left, bottom - top);
}

QPen penOf(const DrawOp& op) {
  if (op.nullPen) return Qt::NoPen;
  QPen pen(toQColor(op.pen));
  pen.setWidthF(std::max(1, op.penWidth));
  return pen;
}

}  // namespace

int textAlignment(unsigned format) {
  int align = 0;
  if (format & kDtCenter)
    align |= Qt::AlignHCenter;
  else if (format & kDtRight)
    align |= Qt::AlignRight;
  else
    align |= Qt::AlignLeft;
  if (format & kDtSingleLine) {
    if (format & kDtBottom)
      align |= Qt::AlignBottom;
    else if (format & kDtVCenter)
      align |= Qt::AlignVCenter;
    else
      align |= Qt::AlignTop;
  } else {
    align |= Qt::AlignTop;
    if (format & 0x10) align |= Qt::TextWordWrap;  // DT_WORDBREAK
  }
  return align;
}

void paintDisplayList(QPainter& p, const std::vector<DrawOp>& ops, const QFont& font) {
  QFont f = font;
  f.setPixelSize(kSurfaceFontPixels);
  p.setFont(f);
  for (const DrawOp& op : ops) {
    p.save();
    switch (op.kind) {
      case DrawOp::Kind::FillRect:
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(gdiRect(op), toQColor(op.brush));
        break;
      case DrawOp::Kind::Ellipse: {
        p.setRenderHint(QPainter::Antialiasing, true);
        QPen pen = penOf(op);
        p.setPen(pen);
        p.setBrush(op.nullBrush ? QBrush(Qt::NoBrush) : QBrush(toQColor(op.brush)));
        // The outline lies inside the bounding rectangle, as GDI draws it.
        const qreal inset = op.nullPen ? 0.0 : pen.widthF() / 2.0;
        p.drawEllipse(gdiRect(op).adjusted(inset, inset, -inset, -inset));
        break;
      }
      case DrawOp::Kind::Line:
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(penOf(op));
        // Through pixel centres, so a one-pixel line covers one pixel row.
        p.drawLine(QPointF(op.x1 + 0.5, op.y1 + 0.5), QPointF(op.x2 + 0.5, op.y2 + 0.5));
        break;
      case DrawOp::Kind::Text: {
        p.setRenderHint(QPainter::TextAntialiasing, true);
        const QRectF rect = gdiRect(op);
        const QString text = QString::fromStdString(op.text);
        const int align = textAlignment(op.format);
        if (!op.transparentBackground) {
          // Opaque mode fills behind the glyphs with the default background.
          p.fillRect(p.boundingRect(rect, align, text), Qt::white);
        }
        if (!(op.format & kDtNoClip)) p.setClipRect(rect, Qt::IntersectClip);
        p.setPen(toQColor(op.textColor));
        p.drawText(rect, align, text);
        break;
      }
    }
    p.restore();
  }
}

}  // namespace ferrolan::qt
