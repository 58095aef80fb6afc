#include "playerpanel.h"
#include "boardmodel.h"
#include "shape.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>

namespace boardsim {

namespace {

constexpr int ledSize = 16;
// The display's three fields, by the digit that selects them.
constexpr const char* fieldNames[] = {"Nummer", "Speeltijd", "Tekst"};

} // namespace

PlayerPanel::PlayerPanel(const BoardModel& board, QWidget* parent)
    : QGroupBox("Spelerbord", parent), board_(board)
{
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel("LED's"), 0, 0);
    auto* ledRow = new QHBoxLayout;
    ledRow->setSpacing(8);
    for (int bit = 7; bit >= 0; --bit) {
        auto* led = new gui::Shape(this);
        led->setShape(gui::Shape::Kind::Circle);
        led->setFixedSize(ledSize, ledSize);
        led->setToolTip(QString("LED van bit %1").arg(bit));
        leds_[size_t(bit)] = led;
        ledRow->addWidget(led);
    }
    pattern_ = new QLabel;
    pattern_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    ledRow->addSpacing(12);
    ledRow->addWidget(pattern_);
    ledRow->addStretch();
    grid->addLayout(ledRow, 0, 1);

    QFont lcd = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    lcd.setPointSizeF(lcd.pointSizeF() * 1.2);
    for (int i = 0; i < 3; ++i) {
        grid->addWidget(new QLabel(fieldNames[i]), i + 1, 0);
        auto* field = new QLabel;
        field->setFont(lcd);
        field->setTextFormat(Qt::PlainText);
        field->setMinimumWidth(300);
        field->setStyleSheet("background: #1E2A1E; color: #9CFF7A; padding: 2px 4px;");
        fields_[size_t(i)] = field;
        grid->addWidget(field, i + 1, 1);
    }
    grid->setColumnStretch(1, 1);
    refresh();
}

QString PlayerPanel::displayText(const std::string& text)
{
    QString shown = QString::fromLatin1(text.data(), qsizetype(text.size()));
    for (QChar& c : shown)
        if (c.unicode() < 0x20)
            c = QChar(0x2400 + c.unicode()); // the Control Pictures block
        else if (c.unicode() == 0x7F)
            c = QChar(0x2421);
    return shown;
}

void PlayerPanel::refresh()
{
    uint8_t pattern = board_.leds();
    for (int bit = 0; bit < 8; ++bit) {
        bool on = (pattern >> bit) & 1;
        leds_[size_t(bit)]->setBrushColor(on ? gui::clRed : gui::clMaroon);
    }
    pattern_->setText(QString("%1").arg(pattern, 8, 2, QChar('0')) +
                      QString("  (%1)").arg(pattern, 2, 16, QChar('0')).toUpper());
    for (size_t i = 0; i < 3; ++i)
        fields_[i]->setText(displayText(board_.display()[i]));
}

} // namespace boardsim
