// Key indicator: a 40 x 50 rectangle, gray while its key input is inactive
// and white while it is active.
#pragma once

#include <QFrame>

namespace gui {
class Shape;
}

class KeyButton : public QFrame {
    Q_OBJECT
public:
    // owner is the Qt parent and frees the key; the caller places it.
    explicit KeyButton(QWidget* owner);

    void setActive(bool active);

    // Covers the whole key; its brush colour is the key's state.
    gui::Shape* shape;
};
