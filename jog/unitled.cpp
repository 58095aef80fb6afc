#include "unitled.h"

Led::Led(QWidget* owner, uint32_t onColor, uint32_t offColor)
    : gui::Shape(owner), onColor(onColor), offColor(offColor)
{
    resize(10, 10);
    setShape(gui::Shape::Kind::Circle);
    setPenColor(gui::clBlack);
    setBrushColor(offColor);
    setCursor(Qt::PointingHandCursor);
    connect(this, &gui::Shape::mouseReleased, this, &Led::ledMouseUp);
}

bool Led::isOn() const
{
    return brushColor() == onColor;
}

void Led::ledMouseUp(Qt::MouseButton, Qt::KeyboardModifiers, QPoint)
{
    if (brushColor() == onColor)
        setBrushColor(offColor);
    else
        setBrushColor(onColor);
}
