// The application object of both programs.
#pragma once

#include <QApplication>
#include <QString>

namespace gui {

class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    // The program's title: the caption of its message boxes. It is kept apart
    // from Qt's display name, which window managers append to every caption.
    static void setTitle(const QString& title);
    static QString title();

    // As in the form library's message loop, an exception that escapes an
    // event handler is shown and the program goes on.
    bool notify(QObject* receiver, QEvent* event) override;
};

// A main window with a single fixed border: system menu and minimise only,
// clientSize fixed, centred on the screen.
void setFixedWindow(QWidget* window, QSize clientSize);

} // namespace gui
