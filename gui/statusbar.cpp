#include "statusbar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStringList>

namespace gui {

StatusBar::StatusBar(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->setSpacing(2);
}

QString StatusBar::panelWidths() const
{
    QStringList parts;
    for (int w : widths_)
        parts << QString::number(w);
    return parts.join(',');
}

void StatusBar::setPanelWidths(const QString& text)
{
    for (QLabel* panel : panels_)
        delete panel;
    panels_.clear();
    widths_.clear();
    const QStringList parts = text.split(',', Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        auto* panel = new QLabel(this);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setTextFormat(Qt::PlainText);
        panel->setContentsMargins(2, 0, 2, 0);
        const int width = part.trimmed().toInt();
        widths_.push_back(width);
        // The last panel takes the rest of the bar, as a status bar's last panel does.
        if (&part != &parts.back())
            panel->setFixedWidth(width);
        layout()->addWidget(panel);
        panels_.push_back(panel);
    }
}

int StatusBar::panelWidth(int index) const
{
    return index >= 0 && index < int(widths_.size()) ? widths_[index] : 0;
}

void StatusBar::setPanelText(int index, const QString& text)
{
    if (index >= 0 && index < int(panels_.size()))
        panels_[index]->setText(text);
}

QString StatusBar::panelText(int index) const
{
    return index >= 0 && index < int(panels_.size()) ? panels_[index]->text() : QString();
}

} // namespace gui
