// Shared pieces of the jog window tests.
#pragma once

#include "message.h"
#include "unitkeybutton.h"
#include "unitled.h"
#include "unitledkeybutton.h"

#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace jogtesting {

// Collects the window's messages instead of showing boxes.
class Messages {
public:
    Messages()
    {
        gui::setMessageHandler([this](const QString& text) {
            texts << text;
            if (onMessage)
                onMessage();
        });
    }
    ~Messages() { gui::setMessageHandler({}); }
    QStringList texts;
    std::function<void()> onMessage;
};

// Points the device layer at an empty folder: no board can be opened.
class NoBoard {
public:
    NoBoard()
    {
        previous_ = qgetenv("EXPBORD_DEVICE_DIR");
        hadPrevious_ = qEnvironmentVariableIsSet("EXPBORD_DEVICE_DIR");
        qputenv("EXPBORD_DEVICE_DIR", dir_.path().toLocal8Bit());
    }
    ~NoBoard()
    {
        if (hadPrevious_)
            qputenv("EXPBORD_DEVICE_DIR", previous_);
        else
            qunsetenv("EXPBORD_DEVICE_DIR");
    }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QByteArray previous_;
    bool hadPrevious_ = false;
};

inline const char* openFailed = "Het openen van de VEK driver is mislukt!";
inline const char* readFailed = "Fout bij het inlezen van besturingselementen.";
inline const char* writeFailed = "Fout bij het instellen van LEDs.";

inline bool isWhite(QWidget* indicator)
{
    return static_cast<KeyButton*>(indicator)->shape->brushColor() == gui::clWhite;
}

} // namespace jogtesting
