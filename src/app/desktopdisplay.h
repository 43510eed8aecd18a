#pragma once

namespace velmora {

// Ends the program with status 1 and one line of its own on standard error, saying that there is
// no desktop to show the icon on and how to name one, when the display Qt would use is not set or
// cannot be opened. Call before the QApplication is created, and call displayReached() after it
// is. Other failures of Qt's platform plugins keep Qt's own diagnostics.
void exitWithoutDisplay(const char *programPath);

// The display was opened: failures from now on are Qt's to report.
void displayReached();

} // namespace velmora
