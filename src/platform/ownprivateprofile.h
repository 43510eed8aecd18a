#pragma once

#include <string>

#include "privateprofile.h"

namespace velmora {

// Our own INI engine, for systems without the Windows functions. Every read opens the file
// afresh without a lock; a write replaces the file atomically, and writers in different
// processes take turns so that none of them loses another's key. A writer waits a short while
// at most for another program that holds the file's lock, then fails.
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

} // namespace velmora
