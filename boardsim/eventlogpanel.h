// The board's request log, newest last, with a switch per request kind.
#pragma once

#include "boardmodel.h"

#include <QGroupBox>
#include <map>

class QCheckBox;
class QPlainTextEdit;

namespace boardsim {

class EventLogPanel : public QGroupBox {
    Q_OBJECT
public:
    EventLogPanel(const BoardModel& board, QWidget* parent = nullptr);

    // Appends the events logged since the last call.
    void refresh();

    QCheckBox* filter(Op op) const { return filters_.at(op); }
    QPlainTextEdit* view() const { return view_; }

    // One log line: number, time, connection, request, result and details.
    static QString describe(const Event& event);

    // Lines kept in the view; the model keeps far more.
    static constexpr int maxLines = 5000;

private:
    bool shown(const Event& event) const;
    void rebuild();

    const BoardModel& board_;
    std::map<Op, QCheckBox*> filters_;
    QPlainTextEdit* view_;
    uint64_t lastShown_ = 0;
};

} // namespace boardsim
