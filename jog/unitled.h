// LED switch: a 10 x 10 circle that every mouse release toggles between a lit
// and a dark colour. Its brush colour is its state.
#pragma once

#include "shape.h"

#include <cstdint>

class Led : public gui::Shape {
    Q_OBJECT
public:
    // Starts dark; owner is the Qt parent and frees the LED; the caller places it.
    Led(QWidget* owner, uint32_t onColor, uint32_t offColor);

    // With equal colours a LED is on from the start and stays on.
    bool isOn() const;

    // Toggles, whichever button was released, wherever and with any modifiers.
    void ledMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);

    uint32_t onColor;
    uint32_t offColor;
};
