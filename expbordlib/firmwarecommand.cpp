#include "firmwarecommand.h"

#include "cursor.h"
#include "message.h"
#include "opendialog.h"

#include <QCoreApplication>
#include <QFile>
#include <QProgressBar>
#include <QThread>

void buttonFirmwareClick(FirmwareCommandTarget window)
{
    if (!window.openDialogFirmware.execute())
        return;
    gui::setScreenCursor(gui::Cursor::HourGlass);
    const QString fileName = window.openDialogFirmware.fileName;
    if (downloadFirmware(window.device, QFile::encodeName(fileName).constData())) {
        closeBoard(window.device);
        window.device = INVALID_HANDLE_VALUE;
        // The board's USB re-enumeration after the restart takes a few seconds.
        for (int i = 0; i < 100; ++i) {
            QThread::msleep(50);
            window.progressBar.setValue(i);
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        window.device = openBoard(window.devicePath.c_str());
        if (window.device == INVALID_HANDLE_VALUE)
            gui::showMessage("Het opnieuw openen van de EZ-USB driver is mislukt!");
    } else {
        gui::showMessage("Downloaden van firmware \"" + fileName +
                         "\" naar het experimenteerbord is mislukt!");
    }
    gui::setScreenCursor(gui::Cursor::Default);
}
