#include "gauge.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace gui {

Gauge::Gauge(QWidget* owner) : QWidget(owner) {}

void Gauge::setKind(Kind kind)
{
    kind_ = kind;
    update();
}

void Gauge::setMinValue(int value)
{
    min_ = value;
    max_ = std::max(max_, min_);
    setProgress(progress_);
    update();
}

void Gauge::setMaxValue(int value)
{
    max_ = value;
    min_ = std::min(min_, max_);
    setProgress(progress_);
    update();
}

void Gauge::setProgress(int value)
{
    const int held = std::clamp(value, min_, max_);
    if (held == progress_)
        return;
    progress_ = held;
    update();
}

void Gauge::setForeColor(const QColor& color)
{
    fore_ = color;
    update();
}

void Gauge::setBackColor(const QColor& color)
{
    back_ = color;
    update();
}

void Gauge::setShowText(bool show)
{
    showText_ = show;
    update();
}

void Gauge::setBorderStyle(BorderStyle style)
{
    border_ = style;
    update();
}

int Gauge::percentDone() const
{
    if (max_ == min_)
        return 0;
    return int((int64_t(progress_) - min_) * 100 / (int64_t(max_) - min_));
}

void Gauge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QRect area = rect();
    if (border_ == BorderSingle) {
        painter.setPen(Qt::black);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(area.adjusted(0, 0, -1, -1));
        area.adjust(1, 1, -1, -1);
    }
    if (area.isEmpty())
        return;
    if (kind_ == Needle)
        paintNeedle(painter, area);
    else
        paintBar(painter, area);
}

void Gauge::paintBar(QPainter& painter, const QRect& area)
{
    const int filled = area.width() * percentDone() / 100;
    const QRect done(area.left(), area.top(), filled, area.height());
    const QRect rest(area.left() + filled, area.top(), area.width() - filled, area.height());
    painter.fillRect(rest, back_);
    painter.fillRect(done, fore_);
    if (!showText_)
        return;
    // The text takes the opposite colour on each part so it stays readable.
    const QString text = QString::number(percentDone()) + '%';
    painter.save();
    painter.setClipRect(done);
    painter.setPen(back_);
    painter.drawText(area, Qt::AlignCenter, text);
    painter.setClipRect(rest);
    painter.setPen(fore_);
    painter.drawText(area, Qt::AlignCenter, text);
    painter.restore();
}

void Gauge::paintNeedle(QPainter& painter, const QRect& area)
{
    // A half dial whose flat edge lies just above the bottom, so that the
    // needle stays in sight at both ends; MinValue points left, MaxValue right.
    const QPointF pivot(area.left() + area.width() / 2.0, area.bottom() - 2 + 0.5);
    const double rx = area.width() / 2.0 - 0.5;
    const double ry = pivot.y() - area.top() - 0.5;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(back_);
    painter.drawPie(QRectF(pivot.x() - rx, pivot.y() - ry, 2 * rx, 2 * ry), 0, 180 * 16);
    const double fraction = max_ == min_ ? 0.0 : double(progress_ - min_) / (max_ - min_);
    const double angle = std::numbers::pi * (1.0 - fraction);
    const QPointF tip(pivot.x() + std::cos(angle) * (rx - 2),
                      pivot.y() - std::sin(angle) * (ry - 2));
    painter.setPen(QPen(fore_, 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(pivot, tip);
    painter.restore();
    if (showText_) {
        painter.setPen(fore_);
        painter.drawText(area, Qt::AlignHCenter | Qt::AlignBottom,
                         QString::number(percentDone()) + '%');
    }
}

} // namespace gui
