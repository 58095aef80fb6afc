// The player board as its program last drove it: the eight LEDs and the three
// fields of the display.
#pragma once

#include <QGroupBox>
#include <array>

class QLabel;

namespace gui {
class Shape;
}

namespace boardsim {

class BoardModel;

class PlayerPanel : public QGroupBox {
    Q_OBJECT
public:
    PlayerPanel(const BoardModel& board, QWidget* parent = nullptr);

    void refresh();

    // The LED of pattern bit 0..7; bit 7 sits on the left.
    gui::Shape* led(int bit) const { return leds_[size_t(bit)]; }
    QLabel* patternLabel() const { return pattern_; }
    // Display field 0 track name, 1 play time, 2 typed text.
    QLabel* field(int index) const { return fields_[size_t(index)]; }

    // How a display text is shown: 8-bit characters as Latin-1, control
    // characters (a typed Tab or Enter) as their visible symbols.
    static QString displayText(const std::string& text);

private:
    const BoardModel& board_;
    std::array<gui::Shape*, 8> leds_{};
    QLabel* pattern_;
    std::array<QLabel*, 3> fields_{};
};

} // namespace boardsim
