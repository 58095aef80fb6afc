// A file-open dialog configured like the windows' design-time dialogs.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace gui {

class OpenDialog : public QObject {
    Q_OBJECT
public:
    enum Option {
        HideReadOnly = 0x1,
        PathMustExist = 0x2,
        FileMustExist = 0x4,
        EnableSizing = 0x8,
    };
    Q_DECLARE_FLAGS(Options, Option)

    explicit OpenDialog(QObject* owner = nullptr);

    // Filter in "Description|*.ext|Other|*.x" form.
    QString filter;
    QString defaultExt;
    QString title;
    Options options = Options(HideReadOnly) | EnableSizing;
    // The chosen file's full path after a successful execute.
    QString fileName;

    // Runs the dialog; false when the user cancels.
    bool execute();

    // The filter as Qt's file dialog wants it: "Description (*.ext)".
    QString qtFilter() const;
};

// Test seam: while set, execute() asks the script instead of showing a dialog;
// it returns the chosen path or nothing for Cancel.
using OpenDialogScript = std::function<std::optional<QString>(const OpenDialog&)>;
void setOpenDialogScript(OpenDialogScript script);

} // namespace gui

Q_DECLARE_OPERATORS_FOR_FLAGS(gui::OpenDialog::Options)
