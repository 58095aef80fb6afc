#include "hostkeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace boardsim {

namespace {

// X keycodes are the Linux input codes shifted past the 8 codes X reserves.
constexpr quint32 xKeycodeOffset = 8;

} // namespace

const PhysicalKey* physicalKeyOf(const QKeyEvent& event)
{
    if (event.nativeScanCode() > xKeycodeOffset)
        return keyForEvdev(event.nativeScanCode() - xKeycodeOffset);
    return keyForQtKey(event.key(), event.modifiers().testFlag(Qt::KeypadModifier));
}

std::optional<std::vector<uint8_t>> scanBytesFor(const QKeyEvent& event)
{
    const PhysicalKey* key = physicalKeyOf(event);
    if (!key)
        return std::nullopt;
    bool press = event.type() == QEvent::KeyPress;
    if (event.isAutoRepeat())
        return press ? repeatBytes(*key) : std::vector<uint8_t>{};
    return press ? makeBytes(*key) : breakBytes(*key);
}

HostKeyboard::HostKeyboard(QWidget* window) : QObject(window), window_(window)
{
    qApp->installEventFilter(this);
}

HostKeyboard::~HostKeyboard()
{
    qApp->removeEventFilter(this);
}

bool HostKeyboard::eventFilter(QObject* watched, QEvent* event)
{
    QEvent::Type type = event->type();
    if (watched == window_ && type == QEvent::WindowDeactivate) {
        releaseHeldKeys();
        return false;
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != window_)
        return false;
    // Accepting the override keeps shortcuts (Ctrl+Tab of the tabs, button
    // mnemonics) from taking keys that belong to the board.
    if (type == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    auto* hostEvent = static_cast<QKeyEvent*>(event);
    bool press = type == QEvent::KeyPress;
    // The host sends a release before each repeated press; a keyboard does not.
    if (hostEvent->isAutoRepeat() && !press)
        return true;
    const PhysicalKey* key = physicalKeyOf(*hostEvent);
    std::vector<uint8_t> bytes;
    if (key) {
        bytes = *scanBytesFor(*hostEvent);
        if (press)
            held_.insert(key);
        else
            held_.erase(key);
    }
    emit keyEvent(key, press, bytes);
    return true;
}

void HostKeyboard::releaseHeldKeys()
{
    std::set<const PhysicalKey*> held;
    held.swap(held_);
    for (const PhysicalKey* key : held)
        emit keyEvent(key, false, breakBytes(*key));
}

} // namespace boardsim
