// The jog test window: shows every input of the board's jog/shuttle unit on a
// panel of indicators and sends the user's LED switches back every 50 ms.
#pragma once

#include "unitexpbordlib.h"

#include <QStringList>
#include <QWidget>
#include <array>
#include <memory>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

namespace gui {
class Gauge;
class OpenDialog;
class Timer;
} // namespace gui

namespace Ui {
class TformJog;
}

class TformJog : public QWidget {
    Q_OBJECT
public:
    // args are the command-line arguments after the program name; the first
    // is the board number.
    explicit TformJog(const QStringList& args);
    ~TformJog() override;

    void FormCreate();
    void FormDestroy();
    void timerTimer();
    void buttonFirmwareClick();

    // Components of the form description.
    QLabel* label1() const;
    QLabel* label2() const;
    QLabel* label3() const;
    QLabel* labelRotation() const;
    QLabel* labelJogCountLeft() const;
    QLabel* labelJogCountRight() const;
    gui::Gauge* cGaugeJog() const;
    gui::Gauge* cGaugeJogShuttle() const;
    QPushButton* buttonFirmware() const;
    QProgressBar* progressBar() const;

    // Non-visual components, made by the constructor.
    gui::Timer* timer;
    gui::OpenDialog* openDialogFirmware;

    // Bit strings of key bytes 0, 1 and 2.
    std::array<QLabel*, 3> bitLabels{};
    // The indicator panel: KeyButton, LedKeyButton or Led by index; the window
    // owns them, this only refers to them.
    std::array<QWidget*, 42> indicators{};
    std::string devicePath;
    BoardHandle device = INVALID_HANDLE_VALUE;

private:
    // Sets a caption; a label that sizes itself to its text keeps its left
    // edge, or its right edge when right-aligned.
    void showCaption(QLabel* label, const QString& text);

    const QStringList args_;
    std::unique_ptr<Ui::TformJog> ui;
};

// The program's one window.
extern TformJog* formJog;
