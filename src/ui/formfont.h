#pragma once

#include <QFont>

namespace velmora {

// The font of every form: "ＭＳ Ｐゴシック" 12 pixels high, falling back to the desktop's
// Japanese fonts where it is missing.
QFont formFont();

} // namespace velmora
