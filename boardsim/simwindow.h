// The window of the virtual board: one tab per board that the daemon serves,
// showing and driving the same board models as the sockets.
#pragma once

#include <QWidget>

#include <utility>
#include <vector>

class QLabel;
class QTabWidget;

namespace boardsim {

class BoardModel;
class BoardTab;
class HostKeyboard;

class SimWindow : public QWidget {
    Q_OBJECT
public:
    // boards: board number and model, in tab order; deviceDir only for the caption line.
    SimWindow(const std::vector<std::pair<int, BoardModel*>>& boards, const QString& deviceDir,
              QWidget* parent = nullptr);

    BoardTab* boardTab(int number) const;
    QTabWidget* tabs() const { return tabs_; }
    // The board whose tab is shown: it gets the host keyboard's keys.
    BoardTab* currentTab() const;

private:
    std::vector<std::pair<int, BoardTab*>> boards_;
    QTabWidget* tabs_;
    HostKeyboard* keyboard_;
};

} // namespace boardsim
