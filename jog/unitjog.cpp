#include "unitjog.h"

#include "application.h"
#include "firmwarecommand.h"
#include "gauge.h"
#include "message.h"
#include "opendialog.h"
#include "timer.h"
#include "ui_unitjog.h"
#include "unitkeybutton.h"
#include "unitled.h"
#include "unitledkeybutton.h"

TformJog* formJog = nullptr;

namespace {

// Which report byte and bit each key indicator shows, in the order the poll
// sets them. Indicators 12..15 take 0x02, 0x08, 0x04, 0x01, out of index order.
struct KeyInput {
    int indicator;
    int reportByte;
    uint8_t mask;
};
constexpr KeyInput keyInputs[] = {
    {0, 0, 0x01},  {1, 0, 0x02},  {2, 0, 0x04},  {3, 0, 0x08},  {4, 2, 0x80},  {5, 2, 0x40},
    {6, 2, 0x20},  {7, 2, 0x10},  {8, 2, 0x01},  {9, 2, 0x02},  {10, 2, 0x04}, {11, 2, 0x08},
    {12, 1, 0x02}, {13, 1, 0x08}, {14, 1, 0x04}, {15, 1, 0x01}, {16, 0, 0x80}, {17, 0, 0x40},
    {18, 0, 0x20}, {19, 0, 0x10}, {20, 1, 0x80}, {21, 1, 0x40}, {22, 1, 0x20}, {23, 1, 0x10},
    {32, 6, 0x01}, {33, 6, 0x02}, {34, 6, 0x04}, {35, 6, 0x08}, {36, 6, 0x10}, {37, 6, 0x20},
    {38, 6, 0x40}, {39, 6, 0x80}, {40, 7, 0x02}, {41, 7, 0x01},
};

// Flag byte bit of the LED on LedKeyButtons 16..23.
constexpr uint8_t flagBits[8] = {0x80, 0x40, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20};

QString bitString(uint8_t byte)
{
    QString bits;
    for (int mask = 0x80; mask != 0; mask >>= 1)
        bits += (byte & mask) ? '1' : '0';
    return bits;
}

} // namespace

TformJog::TformJog(const QStringList& args) : args_(args), ui(std::make_unique<Ui::TformJog>())
{
    ui->setupUi(this);
    // The form description holds widgets only; its non-visual components are
    // made here, before the window's creation handler runs.
    timer = new gui::Timer(this, 50, true);
    connect(timer, &QTimer::timeout, this, &TformJog::timerTimer);
    openDialogFirmware = new gui::OpenDialog(this);
    openDialogFirmware->defaultExt = "bix";
    openDialogFirmware->filter = "Binaire firmware bestanden (*.bix)|*.bix";
    openDialogFirmware->options = gui::OpenDialog::HideReadOnly | gui::OpenDialog::PathMustExist |
                                  gui::OpenDialog::FileMustExist | gui::OpenDialog::EnableSizing;

    gui::setFixedWindow(this, {593, 445});

    // The captions were laid out for a narrower font; these labels size
    // themselves to their text.
    for (QLabel* label :
         {ui->label1, ui->label2, ui->label3, ui->labelJogCountLeft, ui->labelJogCountRight})
        showCaption(label, label->text());

    connect(ui->buttonFirmware, &QPushButton::clicked, this, &TformJog::buttonFirmwareClick);
    FormCreate();
}

TformJog::~TformJog()
{
    FormDestroy();
}

QLabel* TformJog::label1() const
{
    return ui->label1;
}
QLabel* TformJog::label2() const
{
    return ui->label2;
}
QLabel* TformJog::label3() const
{
    return ui->label3;
}
QLabel* TformJog::labelRotation() const
{
    return ui->labelRotation;
}
QLabel* TformJog::labelJogCountLeft() const
{
    return ui->labelJogCountLeft;
}
QLabel* TformJog::labelJogCountRight() const
{
    return ui->labelJogCountRight;
}
gui::Gauge* TformJog::cGaugeJog() const
{
    return ui->cGaugeJog;
}
gui::Gauge* TformJog::cGaugeJogShuttle() const
{
    return ui->cGaugeJogShuttle;
}
QPushButton* TformJog::buttonFirmware() const
{
    return ui->buttonFirmware;
}
QProgressBar* TformJog::progressBar() const
{
    return ui->progressBar;
}

void TformJog::showCaption(QLabel* label, const QString& text)
{
    label->setText(text);
    const QSize fit = label->sizeHint();
    QRect bounds = label->geometry();
    if (label->alignment() & Qt::AlignRight)
        bounds.setLeft(bounds.right() + 1 - fit.width());
    else
        bounds.setWidth(fit.width());
    bounds.setHeight(fit.height());
    label->setGeometry(bounds);
}

void TformJog::FormCreate()
{
    // Each indicator is made with the window as owner, which also makes it a
    // child of the window.
    auto place = [this](int i, QWidget* indicator, int top, int left) {
        indicators[i] = indicator;
        indicator->move(left, top);
    };
    for (int i = 0; i <= 11; ++i)
        place(i, new KeyButton(this), 155 + 55 * (i / 4), 10 + 45 * (i % 4));
    for (int i = 12; i <= 15; ++i)
        place(i, new KeyButton(this), 100 + 55 * (i - 12), 500);
    for (int i = 16; i <= 17; ++i)
        place(i, new LedKeyButton(this), 100, 10 + 45 * (i - 16));
    for (int i = 18; i <= 23; ++i)
        place(i, new LedKeyButton(this), 10, 210 + 45 * (i - 18));
    for (int i = 24; i <= 31; ++i)
        place(i, new Led(this, gui::clLime, gui::clGreen), 350, 25 + 45 * (i - 24));
    for (int i = 32; i <= 39; ++i)
        place(i, new KeyButton(this), 370, 10 + 45 * (i - 32));
    for (int i = 40; i <= 41; ++i)
        place(i, new KeyButton(this), 370, 455 + 45 * (i - 40));

    bitLabels = {ui->label1, ui->label2, ui->label3};

    const QString number = args_.value(0);
    devicePath = "\\\\.\\ezusb-" +
                 (number.isEmpty() ? std::string("0") : number.toLocal8Bit().toStdString());
    setWindowTitle(windowTitle() + " (" + QString::fromLocal8Bit(devicePath) + ")");

    device = openBoard(devicePath.c_str());
    if (device == INVALID_HANDLE_VALUE)
        gui::showMessage("Het openen van de VEK driver is mislukt!");
}

void TformJog::FormDestroy()
{
    closeBoard(device);
}

void TformJog::timerTimer()
{
    uint8_t keyBytes[3];
    int8_t shuttle;
    uint8_t jogLeft, jogRight, keyByte6, keyByte7;
    if (!readBoardControls(device, keyBytes, shuttle, jogLeft, jogRight, keyByte6, keyByte7)) {
        // Stopped before the box opens: its modal loop would run further ticks.
        timer->setEnabled(false);
        gui::showMessage("Fout bij het inlezen van besturingselementen.");
        return;
    }
    // The fields by their byte in the report, for the indicator table.
    const uint8_t report[8] = {keyBytes[0], keyBytes[1], keyBytes[2], uint8_t(shuttle),
                               jogLeft,     jogRight,    keyByte6,    keyByte7};

    for (int k = 0; k < 3; ++k)
        showCaption(bitLabels[k], bitString(report[k]));
    showCaption(ui->labelJogCountLeft, QString::number(jogLeft));
    showCaption(ui->labelJogCountRight, QString::number(jogRight));
    ui->labelRotation->setText(QString::number(shuttle));
    ui->cGaugeJogShuttle->setProgress(shuttle);
    // Two steps, each held within the range: at 2, left 5 and right 4 end at 4.
    ui->cGaugeJog->setProgress(ui->cGaugeJog->progress() - jogLeft);
    ui->cGaugeJog->setProgress(ui->cGaugeJog->progress() + jogRight);

    for (const KeyInput& in : keyInputs)
        static_cast<KeyButton*>(indicators[in.indicator])
            ->setActive(report[in.reportByte] & in.mask);

    uint8_t ledByte = 0;
    for (int n = 0; n < 8; ++n)
        if (static_cast<Led*>(indicators[24 + n])->isOn())
            ledByte |= 0x80 >> n;
    uint8_t flagByte = 0;
    for (int n = 0; n < 8; ++n)
        if (static_cast<LedKeyButton*>(indicators[16 + n])->isLedOn())
            flagByte |= flagBits[n];

    if (!writeBoardLeds(device, ledByte, flagByte)) {
        timer->setEnabled(false);
        gui::showMessage("Fout bij het instellen van LEDs.");
    }
}

void TformJog::buttonFirmwareClick()
{
    ::buttonFirmwareClick({device, devicePath, *openDialogFirmware, *ui->progressBar});
}
