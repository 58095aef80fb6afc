#include "application.h"
#include "message.h"

#include <QScreen>
#include <QWidget>
#include <stdexcept>

namespace gui {

namespace {
QString& storedTitle()
{
    static QString t;
    return t;
}
} // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

void Application::setTitle(const QString& title)
{
    storedTitle() = title;
}

QString Application::title()
{
    return storedTitle();
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showException(e);
    } catch (...) {
        showException(std::runtime_error(""));
    }
    return false;
}

void setFixedWindow(QWidget* window, QSize clientSize)
{
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint);
    window->setFixedSize(clientSize);
    if (QScreen* s = window->screen())
        window->move(s->availableGeometry().center() - window->rect().center());
}

} // namespace gui
