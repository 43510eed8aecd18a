#include "displaytext.h"

#include "codepage.h"

namespace velmora {

QString toDisplay(std::string_view bytes)
{
    return QString::fromStdString(systemToUtf8(bytes));
}

std::string fromDisplay(const QString &text)
{
    return utf8ToSystem(text.toStdString());
}

} // namespace velmora
