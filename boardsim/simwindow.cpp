#include "simwindow.h"
#include "boardtab.h"
#include "hostkeys.h"
#include "keyboardpanel.h"

#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

namespace boardsim {

SimWindow::SimWindow(const std::vector<std::pair<int, BoardModel*>>& boards,
                     const QString& deviceDir, QWidget* parent)
    : QWidget(parent)
{
    setWindowTitle("Virtueel experimenteerbord");
    auto* column = new QVBoxLayout(this);
    tabs_ = new QTabWidget;
    tabs_->setFocusPolicy(Qt::NoFocus);
    for (const auto& [number, model] : boards) {
        auto* tab = new BoardTab(*model);
        boards_.emplace_back(number, tab);
        tabs_->addTab(tab, QString("Bord %1  (\\\\.\\ezusb-%1)").arg(number));
    }
    column->addWidget(tabs_);
    auto* folder = new QLabel("Apparaatmap: " + deviceDir);
    folder->setTextFormat(Qt::PlainText);
    column->addWidget(folder);

    keyboard_ = new HostKeyboard(this);
    connect(keyboard_, &HostKeyboard::keyEvent, this,
            [this](const PhysicalKey* key, bool press, const std::vector<uint8_t>& bytes) {
                if (BoardTab* tab = currentTab())
                    tab->keyboardPanel()->sendKey(key, press, bytes);
            });
}

BoardTab* SimWindow::boardTab(int number) const
{
    for (const auto& [n, tab] : boards_)
        if (n == number)
            return tab;
    return nullptr;
}

BoardTab* SimWindow::currentTab() const
{
    return qobject_cast<BoardTab*>(tabs_->currentWidget());
}

} // namespace boardsim
