#include "application.h"
#include "message.h"
#include "quitsignals.h"
#include "unitplayer.h"

#include <stdexcept>

int main(int argc, char** argv)
{
    gui::Application application(argc, argv);
    try {
        gui::Application::setTitle("ORLU");
        gui::closeOnQuitSignals(nullptr);
        QStringList arguments = application.arguments();
        // The playlist lives beside the program file, wherever it was started from.
        arguments[0] = QCoreApplication::applicationFilePath();
        auto* window = new TformPlayer(arguments);
        gui::closeOnQuitSignals(window);
        if (!gui::quitRequested()) {
            window->show();
            application.exec();
        }
        delete window;
    } catch (const std::exception& e) {
        gui::showException(e);
    } catch (...) {
        gui::showException(std::runtime_error(""));
    }
    return 0;
}
