#include "keyboardpanel.h"
#include "boardmodel.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <linux/input-event-codes.h>

namespace boardsim {

namespace {

QString spacedHex(const std::vector<uint8_t>& bytes)
{
    QString s;
    for (uint8_t b : bytes)
        s += QString("%1 ").arg(b, 2, 16, QChar('0')).toUpper();
    return s.trimmed();
}

} // namespace

KeyboardPanel::KeyboardPanel(BoardModel& board, QWidget* parent)
    : QGroupBox("Toetsenbord (PS/2, scancodes set 2)", parent), board_(board)
{
    auto* column = new QVBoxLayout(this);
    auto* hint = new QLabel("Typ in dit venster: elke toets gaat als scancode naar het bord. "
                            "Ontbrekende toetsen staan hieronder.");
    hint->setWordWrap(true);
    column->addWidget(hint);

    auto* keys = new QWidget;
    auto* grid = new QGridLayout(keys);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(3);
    constexpr unsigned functionKeys[] = {KEY_F1, KEY_F2, KEY_F3, KEY_F4,  KEY_F5,  KEY_F6,
                                         KEY_F7, KEY_F8, KEY_F9, KEY_F10, KEY_F11, KEY_F12};
    for (int i = 0; i < 12; ++i)
        addScreenKey(keys, grid, 0, i, functionKeys[i], QString("F%1").arg(i + 1));
    addScreenKey(keys, grid, 1, 0, KEY_HOME, "Home");
    addScreenKey(keys, grid, 1, 1, KEY_END, "End");
    addScreenKey(keys, grid, 1, 2, KEY_PAGEUP, "PgUp");
    addScreenKey(keys, grid, 1, 3, KEY_PAGEDOWN, "PgDn");
    // Spans two columns: the legend does not fit a function key's width.
    addScreenKey(keys, grid, 1, 4, KEY_KPENTER, "Enter (num)");
    column->addWidget(keys);

    lastKey_ = new QLabel("Laatste toets: -");
    lastKey_->setTextFormat(Qt::PlainText);
    column->addWidget(lastKey_);

    typematic_ = new QTimer(this);
    typematic_->setTimerType(Qt::PreciseTimer);
    connect(typematic_, &QTimer::timeout, this, [this] {
        typematic_->setInterval(typematicPeriodMs);
        if (repeating_)
            sendKey(repeating_, true, repeatBytes(*repeating_));
    });
}

void KeyboardPanel::addScreenKey(QWidget* parent, QGridLayout* grid, int row, int column,
                                 unsigned evdev, const QString& label)
{
    const PhysicalKey* key = keyForEvdev(evdev);
    auto* button = new QPushButton(label, parent);
    // Keys go to the board, so no button may hold the focus and eat them.
    button->setFocusPolicy(Qt::NoFocus);
    button->setToolTip(QString::fromLatin1(key->name) + ": " + spacedHex(makeBytes(*key)));
    button->setMinimumWidth(34);
    if (label.size() > 4)
        grid->addWidget(button, row, column, 1, 2);
    else
        grid->addWidget(button, row, column);
    connect(button, &QPushButton::pressed, this, [this, key] {
        sendKey(key, true, makeBytes(*key));
        repeating_ = key;
        typematic_->start(typematicDelayMs);
    });
    connect(button, &QPushButton::released, this, [this, key] {
        typematic_->stop();
        repeating_ = nullptr;
        sendKey(key, false, breakBytes(*key));
    });
    screenKeys_.emplace_back(label, button);
}

void KeyboardPanel::sendKey(const PhysicalKey* key, bool press, const std::vector<uint8_t>& bytes)
{
    if (!bytes.empty())
        board_.queueKeys(bytes);
    QString what = key ? QString::fromLatin1(key->name) : QString("onbekende toets");
    QString text = "Laatste toets: " + what + (press ? " ingedrukt" : " losgelaten");
    if (!bytes.empty())
        text += ": " + spacedHex(bytes);
    else if (key)
        text += " (geen code)";
    lastKey_->setText(text);
}

QPushButton* KeyboardPanel::screenKey(const QString& name) const
{
    for (const auto& [label, button] : screenKeys_)
        if (label == name)
            return button;
    return nullptr;
}

} // namespace boardsim
