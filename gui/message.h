// Modal messages and the exception display of the windows.
#pragma once

#include <QString>
#include <exception>
#include <functional>

namespace gui {

// Shows text in a modal box with an OK button and returns once it is dismissed.
void showMessage(const QString& text);
// The application's display of an exception that escaped the message loop.
void showException(const std::exception& e);

// Test seam: while set, messages go to the handler instead of a box.
using MessageHandler = std::function<void(const QString&)>;
void setMessageHandler(MessageHandler handler);

} // namespace gui
