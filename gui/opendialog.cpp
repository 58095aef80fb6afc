#include "opendialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

namespace gui {

namespace {
OpenDialogScript& script()
{
    static OpenDialogScript s;
    return s;
}
} // namespace

void setOpenDialogScript(OpenDialogScript s)
{
    script() = std::move(s);
}

OpenDialog::OpenDialog(QObject* owner) : QObject(owner) {}

QString OpenDialog::qtFilter() const
{
    const QStringList parts = filter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        // The description usually names its pattern already: "MP3 bestanden (*.mp3)".
        out << (description.contains(patterns) ? description : description + " (" + patterns + ")");
    }
    return out.join(";;");
}

bool OpenDialog::execute()
{
    std::optional<QString> chosen;
    if (script()) {
        chosen = script()(*this);
    } else {
        QFileDialog dialog(QApplication::activeWindow(), title);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode((options & FileMustExist) ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
        dialog.setNameFilter(qtFilter());
        dialog.setDefaultSuffix(defaultExt);
        dialog.setOption(QFileDialog::ReadOnly, false);
        dialog.setSizeGripEnabled(options & EnableSizing);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().first();
    }
    if (!chosen)
        return false;
    QString path = *chosen;
    if (!defaultExt.isEmpty() && QFileInfo(path).suffix().isEmpty() && !QFileInfo::exists(path))
        path += '.' + defaultExt;
    if ((options & PathMustExist) && !QFileInfo(path).absoluteDir().exists())
        return false;
    if ((options & FileMustExist) && !QFileInfo::exists(path))
        return false;
    fileName = QFileInfo(path).absoluteFilePath();
    return true;
}

} // namespace gui
