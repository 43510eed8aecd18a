#include "privateprofile.h"

#include <windows.h>

namespace velmora {

namespace {

// The Windows private-profile functions themselves.
class WindowsPrivateProfile : public PrivateProfile
{
public:
    std::string readString(
        const std::string &section, const std::string &key, const std::string &fileName) override
    {
        char buffer[2048] = {};
        GetPrivateProfileStringA(
            section.c_str(), key.c_str(), "", buffer, DWORD(sizeof buffer), fileName.c_str());
        buffer[sizeof buffer - 1] = '\0';
        return buffer;
    }

    bool writeString(const std::string &section, const std::string &key, const std::string &value,
        const std::string &fileName) override
    {
        return WritePrivateProfileStringA(
                   section.c_str(), key.c_str(), value.c_str(), fileName.c_str())
            != FALSE;
    }

    // The all-null call writes out the cached copy; it reports FALSE even then.
    void flush(const std::string &fileName) override
    {
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, fileName.c_str());
    }
};

} // namespace

PrivateProfile &systemPrivateProfile()
{
    static WindowsPrivateProfile profile;
    return profile;
}

} // namespace velmora
