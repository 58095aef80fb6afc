// A key indicator that also carries an LED switch near its top edge; the key
// shows an input, the LED is one bit the user sends to the board.
#pragma once

#include "unitkeybutton.h"

class Led;

class LedKeyButton : public KeyButton {
    Q_OBJECT
public:
    explicit LedKeyButton(QWidget* owner);

    bool isLedOn() const;

    Led* led;
};
