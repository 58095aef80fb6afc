// A status bar of fixed-width text panels, the last one taking what is left.
#pragma once

#include <QString>
#include <QWidget>
#include <vector>

class QLabel;

namespace gui {

class StatusBar : public QWidget {
    Q_OBJECT
    // Panel widths in pixels, "300,60,50"; settable from a form description.
    Q_PROPERTY(QString panelWidths READ panelWidths WRITE setPanelWidths)
public:
    explicit StatusBar(QWidget* parent = nullptr);

    QString panelWidths() const;
    void setPanelWidths(const QString& widths);
    int panelCount() const { return int(panels_.size()); }
    int panelWidth(int index) const;
    void setPanelText(int index, const QString& text);
    QString panelText(int index) const;

private:
    std::vector<QLabel*> panels_;
    std::vector<int> widths_;
};

} // namespace gui
