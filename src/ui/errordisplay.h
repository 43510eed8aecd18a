#pragma once

#include <functional>

#include <QString>

class QWidget;

namespace velmora {

class DialogService;

// The text the error box shows for an error's message: one "." is appended when the message
// ends in a character above "." (so "…は開けません" gets one and "… (3)" does not).
QString errorDisplayText(const QString &message);

// Runs an event handler; an error that escapes it is shown in the error box and the rest of the
// handler is skipped. No exception leaves this function. Returns false when an error was shown.
bool runGuarded(DialogService &dialogs, QWidget *parent, const std::function<void()> &handler);

} // namespace velmora
