#include "statepanel.h"
#include "boardmodel.h"

#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

namespace boardsim {

StatePanel::StatePanel(BoardModel& board, QWidget* parent)
    : QGroupBox("Firmware en aansluiting", parent), board_(board)
{
    auto* form = new QFormLayout(this);
    cpucs_ = new QLabel;
    form->addRow("CPUCS (7F92)", cpucs_);
    image_ = new QLabel;
    image_->setTextFormat(Qt::PlainText);
    image_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    image_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    form->addRow("Image", image_);
    connections_ = new QLabel;
    form->addRow("Verbindingen", connections_);
    plug_ = new QPushButton;
    plug_->setCheckable(true);
    plug_->setFocusPolicy(Qt::NoFocus);
    connect(plug_, &QPushButton::clicked, this, [this](bool plugged) {
        if (plugged)
            board_.plug();
        else
            board_.unplug();
    });
    form->addRow("USB", plug_);
    refresh();
}

void StatePanel::refresh()
{
    uint8_t cpucs = board_.cpucs();
    QString hex = QString("%1").arg(cpucs, 2, 16, QChar('0')).toUpper();
    cpucs_->setText(hex + (board_.heldInReset() ? " - 8051 in reset gehouden" : " - 8051 loopt"));
    if (board_.imageBytes() == 0) {
        image_->setText("geen geladen");
    } else {
        const std::string& sha = board_.imageSha256();
        image_->setText(
            QString("%1 bytes, %2\nsha256 %3\n       %4")
                .arg(board_.imageBytes())
                .arg(board_.imageRunning() ? "draait" : "geladen, niet gestart")
                .arg(QString::fromStdString(sha.substr(0, 32)))
                .arg(QString::fromStdString(sha.substr(std::min<size_t>(32, sha.size())))));
    }
    connections_->setText(QString("%1 open, %2 wachtende leesopdracht(en), %3 toetsblok(ken) in "
                                  "de wachtrij")
                              .arg(board_.openHandles())
                              .arg(board_.pendingReads())
                              .arg(board_.queuedKeyBlocks()));
    plug_->setChecked(board_.plugged());
    plug_->setText(board_.plugged() ? "Aangesloten (klik om los te koppelen)"
                                    : "Losgekoppeld (klik om aan te sluiten)");
}

} // namespace boardsim
