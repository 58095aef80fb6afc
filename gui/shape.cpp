#include "shape.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace gui {

QColor fromTColor(uint32_t color)
{
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

uint32_t toTColor(const QColor& color)
{
    const QRgb rgb = color.rgb();
    return uint32_t(qRed(rgb)) | uint32_t(qGreen(rgb)) << 8 | uint32_t(qBlue(rgb)) << 16;
}

Shape::Shape(QWidget* owner) : QWidget(owner) {}

void Shape::setShape(Kind kind)
{
    if (kind_ == kind)
        return;
    kind_ = kind;
    update();
}

void Shape::setPenColor(uint32_t color)
{
    if (pen_ == color)
        return;
    pen_ = color;
    update();
}

void Shape::setBrushColor(uint32_t color)
{
    if (brush_ == color)
        return;
    brush_ = color;
    update();
}

void Shape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(QPen(fromTColor(pen_), 0));
    painter.setBrush(fromTColor(brush_));
    if (kind_ == Kind::Rectangle) {
        // A one-pixel outline on the outermost pixels, as the form library draws it.
        painter.drawRect(0, 0, width() - 1, height() - 1);
        return;
    }
    // The largest circle that fits, centred; the pen's centre line runs half a
    // pixel inside the edge so the outline stays within the widget.
    const int d = std::min(width(), height());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawEllipse(
        QRectF((width() - d) / 2.0 + 0.5, (height() - d) / 2.0 + 0.5, d - 1, d - 1));
}

void Shape::mousePressEvent(QMouseEvent* event)
{
    // Accepting the press keeps the release with this shape.
    event->accept();
}

void Shape::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    emit mouseReleased(event->button(), event->modifiers(), event->position().toPoint());
}

} // namespace gui
