#include "message.h"

#include "application.h"

#include <QApplication>
#include <QMessageBox>

namespace gui {

namespace {
MessageHandler& handler()
{
    static MessageHandler h;
    return h;
}
} // namespace

void setMessageHandler(MessageHandler h)
{
    handler() = std::move(h);
}

void showMessage(const QString& text)
{
    if (handler()) {
        handler()(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, Application::title(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void showException(const std::exception& e)
{
    QString text = QString::fromLocal8Bit(e.what());
    if (!text.isEmpty() && !text.endsWith('.'))
        text += '.';
    showMessage(text);
}

} // namespace gui
