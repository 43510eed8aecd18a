#include "desktopdisplay.h"

namespace velmora {

// An interactive Windows program always has its desktop.
void reportMissingDisplay(int, char **) { }

void displayOpened() { }

} // namespace velmora
