// The PS/2 keyboard on the player board: what the host keyboard last sent
// through it, and on-screen keys for the ones a host keyboard may lack.
#pragma once

#include "keyboard.h"

#include <QGroupBox>
#include <QString>

#include <vector>

class QGridLayout;
class QLabel;
class QPushButton;
class QTimer;

namespace boardsim {

class BoardModel;

class KeyboardPanel : public QGroupBox {
    Q_OBJECT
public:
    KeyboardPanel(BoardModel& board, QWidget* parent = nullptr);

    // Queues the bytes of one key event (nothing when empty) and shows it;
    // key is null for a host key that the keyboard does not have.
    void sendKey(const PhysicalKey* key, bool press, const std::vector<uint8_t>& bytes);

    // The on-screen key with this legend ("F1", "Home", ...), or null.
    QPushButton* screenKey(const QString& name) const;
    QLabel* lastKeyLabel() const { return lastKey_; }

    // PS/2 default typematic rate: 500 ms before the first repeat, then 10.9 per second.
    static constexpr int typematicDelayMs = 500;
    static constexpr int typematicPeriodMs = 92;

private:
    void addScreenKey(QWidget* parent, QGridLayout* grid, int row, int column, unsigned evdev,
                      const QString& label);

    BoardModel& board_;
    QLabel* lastKey_;
    QTimer* typematic_;
    const PhysicalKey* repeating_ = nullptr;
    std::vector<std::pair<QString, QPushButton*>> screenKeys_;
};

} // namespace boardsim
