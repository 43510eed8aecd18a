#pragma once

#include <optional>
#include <string>

#include "privateprofile.h"

namespace velmora {

// Our own INI engine, for systems without the Windows functions. Every read opens the file
// afresh without a lock; a write replaces the file atomically, and writers in different
// processes take turns so that none of them loses another's key.
class OwnPrivateProfile : public PrivateProfile
{
public:
    std::string readString(
        const std::string &section, const std::string &key, const std::string &fileName) override;
    bool writeString(const std::string &section, const std::string &key, const std::string &value,
        const std::string &fileName) override;
    // Nothing is cached, so there is nothing to write out.
    void flush(const std::string &fileName) override;
};

// The bytes of the regular file at path, as a read of the engine sees them; nothing for a
// missing file, a directory or anything else that is not a regular file.
std::optional<std::string> readIniFileBytes(const std::string &path);

} // namespace velmora
