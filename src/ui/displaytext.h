#pragma once

#include <string>
#include <string_view>

#include <QString>

namespace velmora {

// Item texts and file names are bytes in the system code page; the widgets show them as text.
QString toDisplay(std::string_view bytes);
std::string fromDisplay(const QString &text);

} // namespace velmora
