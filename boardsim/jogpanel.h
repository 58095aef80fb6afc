// The jog/shuttle unit, laid out like the jog program's indicator panel: its
// 34 key inputs as toggle buttons, the shuttle as a spring-loaded slider, the
// jog wheel as a dial, and the 16 LEDs as the program last wrote them.
#pragma once

#include <QGroupBox>
#include <array>
#include <cstdint>

class QDial;
class QLabel;
class QPushButton;
class QSlider;

namespace gui {
class Shape;
}

namespace boardsim {

class BoardModel;

// Where the jog program shows one key input, and which report bit it is.
struct JogKeyInput {
    int indicator; // 0..41 as the jog window numbers its indicators
    int top;
    int left;
    int reportByte;
    uint8_t mask;
    uint8_t flagBit; // the flag-byte bit of the LED on the key, 0 for none
};
extern const std::array<JogKeyInput, 34> jogKeyInputs;

class JogPanel : public QGroupBox {
    Q_OBJECT
public:
    JogPanel(BoardModel& board, QWidget* parent = nullptr);

    void refresh();

    // By jog-window indicator index; null for 24..31, which are LEDs.
    QPushButton* keyButton(int indicator) const { return keys_[size_t(indicator)]; }
    // The LED of indicator 16..23 (on its key, flag byte) or 24..31 (LED byte).
    gui::Shape* led(int indicator) const { return leds_[size_t(indicator)]; }
    QSlider* shuttle() const { return shuttle_; }
    QDial* jogWheel() const { return wheel_; }
    QLabel* ledBytesLabel() const { return ledBytes_; }
    QLabel* leftCountLabel() const { return leftCount_; }
    QLabel* rightCountLabel() const { return rightCount_; }

    // Steps of the dial per turn.
    static constexpr int wheelSteps = 24;

private:
    void turnWheel(int value);

    BoardModel& board_;
    std::array<QPushButton*, 42> keys_{};
    std::array<gui::Shape*, 42> leds_{};
    QSlider* shuttle_;
    QLabel* shuttleLabel_;
    QDial* wheel_;
    int wheelPosition_ = 0;
    QLabel* ledBytes_;
    QLabel* leftCount_;
    QLabel* rightCount_;
};

} // namespace boardsim
