#pragma once

namespace velmora {

// From this call until displayOpened(), a desktop display that is not named, or that Qt's
// platform plugin cannot open, ends the program with status 1 and one line of our own on
// standard error: there is no desktop to show the icon on, and how to name one. Other failures of
// the platform plugins keep Qt's own diagnostics. Call before the QApplication is created.
void reportMissingDisplay(int argc, char **argv);

// The QApplication exists: from now on failures are Qt's to report.
void displayOpened();

} // namespace velmora
