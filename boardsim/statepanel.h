// The chip and the cable: CPUCS, the loaded firmware image, the handles the
// programs hold, and the plug.
#pragma once

#include <QGroupBox>

class QLabel;
class QPushButton;

namespace boardsim {

class BoardModel;

class StatePanel : public QGroupBox {
    Q_OBJECT
public:
    StatePanel(BoardModel& board, QWidget* parent = nullptr);

    void refresh();

    QLabel* cpucsLabel() const { return cpucs_; }
    QLabel* imageLabel() const { return image_; }
    QLabel* connectionsLabel() const { return connections_; }
    // Checked while the board is plugged in; clicking plugs or unplugs it.
    QPushButton* plugButton() const { return plug_; }

private:
    BoardModel& board_;
    QLabel* cpucs_;
    QLabel* image_;
    QLabel* connections_;
    QPushButton* plug_;
};

} // namespace boardsim
