#include "timer.h"

namespace gui {

Timer::Timer(QObject* owner, int intervalMs, bool enabled) : QTimer(owner)
{
    setTimerType(Qt::PreciseTimer);
    setInterval(intervalMs);
    setEnabled(enabled);
}

void Timer::setEnabled(bool on)
{
    if (on && !isActive())
        start();
    else if (!on)
        stop();
}

} // namespace gui
