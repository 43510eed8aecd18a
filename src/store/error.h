#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace velmora {

// A failure to report to the user; what() is the message text in UTF-8.
class Error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The message with its one "%s" replaced by argument.
std::string formatMessage(std::string_view pattern, std::string_view argument);

} // namespace velmora
