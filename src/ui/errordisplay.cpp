#include "errordisplay.h"

#include <exception>

#include "dialogservice.h"

namespace velmora {

QString errorDisplayText(const QString &message)
{
    // In the ANSI code page every character beyond ASCII starts with a byte above 0x7F, so
    // comparing the last character's code point decides as comparing its first byte would.
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

bool runGuarded(DialogService &dialogs, QWidget *parent, const std::function<void()> &handler)
{
    QString message;
    try {
        handler();
        return true;
    } catch (const std::exception &error) {
        message = QString::fromUtf8(error.what());
    } catch (...) {
        message = QStringLiteral("不明なエラー");
    }
    try {
        dialogs.showError(parent, errorDisplayText(message));
    } catch (...) {
        // Nothing more can be shown; the event loop must go on.
    }
    return false;
}

} // namespace velmora
