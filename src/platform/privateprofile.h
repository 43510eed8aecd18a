#pragma once

#include <string>

namespace velmora {

// Reading and writing single keys of INI files, the way the Windows private-profile functions
// do. Every call names the file and works on what is on disk at that moment.
class PrivateProfile
{
public:
    virtual ~PrivateProfile() = default;

    // The value of the key in the section, at most 2047 bytes; empty for a missing file,
    // section or key.
    virtual std::string readString(
        const std::string &section, const std::string &key, const std::string &fileName)
        = 0;

    // Sets the key in the section to value, creating what is missing; false when the file
    // cannot be written.
    virtual bool writeString(const std::string &section, const std::string &key,
        const std::string &value, const std::string &fileName)
        = 0;

    // Writes out any cached copy of the file.
    virtual void flush(const std::string &fileName) = 0;
};

// The engine of this platform: the Windows functions on Windows, our own engine elsewhere.
PrivateProfile &systemPrivateProfile();

} // namespace velmora
