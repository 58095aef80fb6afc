// A timer with the forms' semantics: an interval and an enabled flag, and
// enabling a running timer leaves its period running as it was.
#pragma once

#include <QTimer>

namespace gui {

class Timer : public QTimer {
    Q_OBJECT
public:
    explicit Timer(QObject* owner = nullptr, int intervalMs = 1000, bool enabled = false);
    void setEnabled(bool enabled);
    bool enabled() const { return isActive(); }
};

} // namespace gui
