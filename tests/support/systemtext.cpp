#include "systemtext.h"

#include <stdexcept>

#include "codepage.h"

namespace velmora::test {

std::string sys(std::string_view utf8)
{
    std::string bytes = utf8ToSystem(utf8);
    if (systemToUtf8(bytes) != utf8)
        throw std::invalid_argument("the system code page cannot hold \"" + std::string(utf8)
            + "\": choose fixture text that both UTF-8 and Shift-JIS can");
    return bytes;
}

} // namespace velmora::test
