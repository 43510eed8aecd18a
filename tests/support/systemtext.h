#pragma once

#include <string>
#include <string_view>

namespace velmora::test {

// The bytes that text, given in UTF-8, has in the system code page: what the program keeps for an
// item name, a value or a line of a file that the user wrote. Fixtures built with it mean the same
// in a UTF-8 locale and in a Shift-JIS one. Text the code page cannot hold is a mistake in the
// test, and throws.
std::string sys(std::string_view utf8);

} // namespace velmora::test
