#pragma once

#include <QString>

namespace velmora {

// The application's title, shown as the caption of its message boxes: the executable's file
// name up to its first ".", with every letter after the first in lower case ("VELMORA.EXE"
// gives "Velmora").
QString applicationTitle(const QString &executableFileName);

} // namespace velmora
