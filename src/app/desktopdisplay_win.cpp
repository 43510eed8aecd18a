#include "desktopdisplay.h"

namespace velmora {

// An interactive Windows program always has its desktop.
void exitWithoutDisplay(const char *) { }

void displayReached() { }

} // namespace velmora
