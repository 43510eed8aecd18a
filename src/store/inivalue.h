#pragma once

#include <string>

#include "privateprofile.h"

namespace velmora {

// The value that key holds in section of the INI file, as the platform reads it (at most 2047
// bytes, not trimmed). Empty, without reading, when the section or the key is blank; empty for
// a missing file, section or key.
std::string ReadIniValue(const std::string &fileName, const std::string &section,
    const std::string &key, PrivateProfile &profile = systemPrivateProfile());

// Sets key in section of the INI file to value. Raises Error "<file> に書き込めません" when the
// file cannot be written, and, leaving the file untouched, when the text would break the file's
// lines or could never be read back.
void WriteIniValue(const std::string &fileName, const std::string &section, const std::string &key,
    const std::string &value, PrivateProfile &profile = systemPrivateProfile());

} // namespace velmora
