#include "unitledkeybutton.h"

#include "unitled.h"

LedKeyButton::LedKeyButton(QWidget* owner) : KeyButton(owner)
{
    led = new Led(this, gui::clRed, gui::clMaroon);
    // Centred in the 40-wide key; made after the rectangle, so it lies on top.
    led->move(15, 5);
}

bool LedKeyButton::isLedOn() const
{
    return led->isOn();
}
