// A rectangle or circle with a pen and a brush colour that paints itself,
// in place of the form library's shape control.
#pragma once

#include <QColor>
#include <QWidget>
#include <cstdint>

namespace gui {

// Colour values as the forms store them: 0x00BBGGRR.
QColor fromTColor(uint32_t color);
uint32_t toTColor(const QColor& color);

inline constexpr uint32_t clBlack = 0x000000;
inline constexpr uint32_t clMaroon = 0x000080;
inline constexpr uint32_t clGreen = 0x008000;
inline constexpr uint32_t clNavy = 0x800000;
inline constexpr uint32_t clGray = 0x808080;
inline constexpr uint32_t clRed = 0x0000FF;
inline constexpr uint32_t clLime = 0x00FF00;
inline constexpr uint32_t clWhite = 0xFFFFFF;

class Shape : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Rectangle, Circle };

    // owner becomes the Qt parent and frees the shape.
    explicit Shape(QWidget* owner = nullptr);

    Kind shape() const { return kind_; }
    void setShape(Kind kind);
    uint32_t penColor() const { return pen_; }
    void setPenColor(uint32_t color);
    uint32_t brushColor() const { return brush_; }
    void setBrushColor(uint32_t color);

signals:
    // Every release of any mouse button that was pressed on the shape.
    void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Kind kind_ = Kind::Rectangle;
    uint32_t pen_ = clBlack;
    uint32_t brush_ = clWhite;
};

} // namespace gui
