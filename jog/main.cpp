// Program entry of the jog/shuttle test program.
#include "application.h"
#include "message.h"
#include "quitsignals.h"
#include "unitjog.h"

#include <stdexcept>

int main(int argc, char** argv)
{
    gui::Application app(argc, argv);
    try {
        gui::Application::setTitle("Jog Shuttle");
        gui::closeOnQuitSignals(nullptr);
        formJog = new TformJog(QApplication::arguments().mid(1));
        gui::closeOnQuitSignals(formJog);
        // A quit signal during start-up could not close a window not yet shown.
        if (!gui::quitRequested()) {
            formJog->show();
            app.exec();
        }
        delete formJog;
        formJog = nullptr;
    } catch (const std::exception& e) {
        gui::showException(e);
    } catch (...) {
        gui::showException(std::runtime_error(""));
    }
    return 0;
}
