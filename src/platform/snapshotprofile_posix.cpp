#include "snapshotprofile.h"

#include <new>
#include <optional>
#include <unordered_map>

#include "filebytes.h"
#include "initext.h"

namespace velmora {

namespace {

class SnapshotProfile : public PrivateProfile
{
public:
    std::string readString(
        const std::string &section, const std::string &key, const std::string &fileName) override
    {
        auto found = m_files.find(fileName);
        if (found == m_files.end())
            found = m_files.emplace(fileName, snapshotOf(fileName)).first;
        return found->second ? found->second->find(section, key) : std::string();
    }

    bool writeString(const std::string &section, const std::string &key, const std::string &value,
        const std::string &fileName) override
    {
        m_files.clear(); // another name may reach the same file
        return systemPrivateProfile().writeString(section, key, value, fileName);
    }

    void flush(const std::string &fileName) override { systemPrivateProfile().flush(fileName); }

private:
    // Nothing for a file that cannot be read, also for one too large to hold in memory.
    static std::unique_ptr<IniSnapshot> snapshotOf(const std::string &fileName)
    {
        try {
            if (const std::optional<FileBytes> bytes = readFileBytes(fileName))
                return std::make_unique<IniSnapshot>(bytes->view());
        } catch (const std::bad_alloc &) { }
        return nullptr;
    }

    std::unordered_map<std::string, std::unique_ptr<IniSnapshot>> m_files; // null: no file
};

} // namespace

std::unique_ptr<PrivateProfile> makeSnapshotProfile()
{
    return std::make_unique<SnapshotProfile>();
}

} // namespace velmora
