#include "boardtab.h"
#include "boardmodel.h"
#include "eventlogpanel.h"
#include "jogpanel.h"
#include "keyboardpanel.h"
#include "playerpanel.h"
#include "statepanel.h"

#include <QGridLayout>
#include <QTimer>

namespace boardsim {

BoardTab::BoardTab(BoardModel& board, QWidget* parent) : QWidget(parent), board_(board)
{
    player_ = new PlayerPanel(board);
    keyboard_ = new KeyboardPanel(board);
    state_ = new StatePanel(board);
    jog_ = new JogPanel(board);
    log_ = new EventLogPanel(board);

    auto* grid = new QGridLayout(this);
    grid->addWidget(player_, 0, 0);
    grid->addWidget(keyboard_, 1, 0);
    grid->addWidget(state_, 2, 0);
    grid->setRowStretch(3, 1);
    grid->addWidget(jog_, 0, 1, 4, 1, Qt::AlignTop);
    grid->addWidget(log_, 4, 0, 1, 2);
    grid->setRowStretch(4, 2);

    // A jog program polls 20 times a second and the player's running light
    // changes 10 times; one redraw per event-loop turn keeps up with both.
    listener_ = board_.addListener([this] {
        if (refreshPending_)
            return;
        refreshPending_ = true;
        QTimer::singleShot(0, this, &BoardTab::refresh);
    });
}

BoardTab::~BoardTab()
{
    board_.removeListener(listener_);
}

void BoardTab::refresh()
{
    refreshPending_ = false;
    player_->refresh();
    state_->refresh();
    jog_->refresh();
    log_->refresh();
}

} // namespace boardsim
