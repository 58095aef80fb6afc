// Host key events as a PS/2 keyboard on the board would send them. The
// physical key counts, not the character: Shift or a non-US layout on the
// host does not change the codes.
#pragma once

#include "keyboard.h"

#include <QObject>

#include <optional>
#include <set>
#include <vector>

class QKeyEvent;
class QWidget;

namespace boardsim {

// The physical key of event: from its native scan code when the platform
// gives one (on xcb and Wayland the X keycode, the Linux input code + 8),
// else from its Qt key. Null for a key the keyboard does not have.
const PhysicalKey* physicalKeyOf(const QKeyEvent& event);

// Bytes for a key press or release: make, break, or the typematic repeat for
// a host auto-repeat press. Empty when the event sends nothing (the release
// half of a host auto-repeat, the release of Pause); nothing for an unknown key.
std::optional<std::vector<uint8_t>> scanBytesFor(const QKeyEvent& event);

// Takes every key press and release meant for window (or any widget in it)
// before the widgets see them, and hands them on as scan-code bytes. Keys
// still held when the window loses focus are released, as a keyboard whose
// keys are let go.
class HostKeyboard : public QObject {
    Q_OBJECT
public:
    explicit HostKeyboard(QWidget* window);
    ~HostKeyboard() override;

signals:
    // key is null for an unknown key, which sends nothing (bytes empty).
    void keyEvent(const boardsim::PhysicalKey* key, bool press, const std::vector<uint8_t>& bytes);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void releaseHeldKeys();

    QWidget* window_;
    std::set<const PhysicalKey*> held_;
};

} // namespace boardsim
