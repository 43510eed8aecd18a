#include "snapshotprofile.h"

#include <optional>
#include <unordered_map>

#include "initext.h"
#include "ownprivateprofile.h"

namespace velmora {

namespace {

class SnapshotProfile : public PrivateProfile
{
public:
    std::string readString(
        const std::string &section, const std::string &key, const std::string &fileName) override
    {
        auto found = m_files.find(fileName);
        if (found == m_files.end()) {
            std::unique_ptr<IniSnapshot> snapshot;
            if (const std::optional<std::string> bytes = readIniFileBytes(fileName))
                snapshot = std::make_unique<IniSnapshot>(*bytes);
            found = m_files.emplace(fileName, std::move(snapshot)).first;
        }
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
    std::unordered_map<std::string, std::unique_ptr<IniSnapshot>> m_files; // null: no file
};

} // namespace

std::unique_ptr<PrivateProfile> makeSnapshotProfile()
{
    return std::make_unique<SnapshotProfile>();
}

} // namespace velmora
