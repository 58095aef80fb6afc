#include "unitkeybutton.h"

#include "shape.h"

KeyButton::KeyButton(QWidget* owner) : QFrame(owner)
{
    resize(40, 50);
    // Constructed with this key as owner, which makes it a child too.
    shape = new gui::Shape(this);
    shape->setGeometry(0, 0, width(), height());
    shape->setShape(gui::Shape::Kind::Rectangle);
    shape->setPenColor(gui::clBlack);
    shape->setBrushColor(gui::clGray);
}

void KeyButton::setActive(bool active)
{
    shape->setBrushColor(active ? gui::clWhite : gui::clGray);
}
