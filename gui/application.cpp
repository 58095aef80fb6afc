#include "application.h"
#include "message.h"

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

} // namespace gui
