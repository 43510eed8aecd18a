#include "privateprofile.h"

#include <string>

#include <windows.h>

namespace velmora {

namespace {

// True when the file that the profile functions would write for fileName has the read-only
// attribute. Like those functions, this looks up a bare name in the Windows directory, and looks
// for a directory part (a separator or a drive's colon) in the name's UTF-16 form, where no trail
// byte of a double-byte character can pass for a backslash.
bool isReadOnlyProfile(const std::string &fileName)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, fileName.c_str(), -1, nullptr, 0);
    if (length <= 1)
        return false;
    std::wstring path(std::size_t(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, fileName.c_str(), -1, path.data(), length);
    path.pop_back();
    if (path.find_first_of(L"\\/:") == std::wstring::npos) {
        wchar_t directory[MAX_PATH];
        const UINT size = GetWindowsDirectoryW(directory, MAX_PATH);
        if (size == 0 || size >= MAX_PATH)
            return false;
        path = std::wstring(directory, size) + L"\\" + path;
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

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

    // A read-only file is refused here already: Windows refuses it too, but an emulation of
    // Windows that runs with a Unix superuser's rights would write it.
    bool writeString(const std::string &section, const std::string &key, const std::string &value,
        const std::string &fileName) override
    {
        if (isReadOnlyProfile(fileName)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
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
