#include "snapshotprofile.h"

namespace velmora {

namespace {

// The Windows functions keep their own copy of a file between calls, so reads go straight to
// them.
class PassThroughProfile : public PrivateProfile
{
public:
    std::string readString(
        const std::string &section, const std::string &key, const std::string &fileName) override
    {
        return systemPrivateProfile().readString(section, key, fileName);
    }
    bool writeString(const std::string &section, const std::string &key, const std::string &value,
        const std::string &fileName) override
    {
        return systemPrivateProfile().writeString(section, key, value, fileName);
    }
    void flush(const std::string &fileName) override { systemPrivateProfile().flush(fileName); }
};

} // namespace

std::unique_ptr<PrivateProfile> makeSnapshotProfile()
{
    return std::make_unique<PassThroughProfile>();
}

} // namespace velmora
