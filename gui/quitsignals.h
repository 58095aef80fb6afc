// Process signals turned into ordinary window events.
//
// SIGTERM, SIGINT and SIGHUP close the main window the ordinary way, so that
// its shutdown steps run, also while a modal box is open. SIGUSR1 saves a
// picture of the window to $EXPBORD_SCREENSHOT_DIR/<program>.png, which is how
// the demo and the documentation take their screenshots.
#pragma once

class QWidget;

namespace gui {

// Installs the handlers; a quit signal closes every modal widget, then window.
// Calling it again only changes the window (null: modal widgets only, as
// during start-up before the window exists).
void closeOnQuitSignals(QWidget* window);
// Whether a quit signal came (the program entry checks it before showing the
// window, since a signal during start-up cannot close a window not yet shown).
bool quitRequested();
// Saves window to $EXPBORD_SCREENSHOT_DIR/<program>.png; false when unset or failed.
bool saveScreenshot(QWidget* window);

} // namespace gui
