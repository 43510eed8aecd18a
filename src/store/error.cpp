#include "error.h"

namespace velmora {

std::string formatMessage(std::string_view pattern, std::string_view argument)
{
    std::string message(pattern);
    const std::size_t at = message.find("%s");
    if (at != std::string::npos)
        message.replace(at, 2, argument);
    return message;
}

} // namespace velmora
