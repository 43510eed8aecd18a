#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codepage.h"

namespace velmora {

// The longest value a read gives back: the Windows call fills a buffer of 2048 bytes with a
// C string.
constexpr std::size_t MaxIniValueBytes = 2047;

// The value that an INI file with these bytes holds for key in section, in the system code
// page; empty when the section or the key is missing. Section and key are matched without
// regard to ASCII case, the caller's outer spaces ignored. A double-byte character of the system
// code page is one character on reads and writes alike: its second byte is never taken for ']'
// or for a letter.
std::string findIniValue(
    std::string_view fileBytes, std::string_view section, std::string_view key);

// A file's bytes with one change: the bytes before and after it stay as they are, and the
// change's own bytes go between them.
struct IniEdit
{
    std::string_view before; // the start of the file's bytes
    std::string inserted;
    std::string_view after; // the rest of the file's bytes
};

// The change that sets key in section to value: the key's line edited where it stands, or the
// key (and its section) added; every other byte is kept. Nothing when the value already stands
// exactly so and the file needs no rewrite. The text must pass iniTextKeepsLines.
std::optional<IniEdit> editIniValue(std::string_view fileBytes, std::string_view section,
    std::string_view key, std::string_view value);

// The file's bytes after editIniValue's change, whole.
std::optional<std::string> setIniValue(std::string_view fileBytes, std::string_view section,
    std::string_view key, std::string_view value);

// The bytes of one INI file with the places of its sections noted once, for many reads that see
// the file as it stood at one moment. find() gives what findIniValue gives for the same bytes.
class IniSnapshot
{
public:
    explicit IniSnapshot(std::string_view fileBytes);
    IniSnapshot(const IniSnapshot &) = delete; // the index points into the text
    IniSnapshot &operator=(const IniSnapshot &) = delete;

    std::string find(std::string_view section, std::string_view key) const;

private:
    struct Section
    {
        std::string_view name; // points into m_text
        std::size_t bracket; // the '[' of the header
    };

    struct Slot
    {
        std::uint32_t hash; // of the section's name, compared before the name itself
        std::uint32_t section; // its index in m_sections + 1, or 0 when the slot is empty
    };

    // The slot that holds the section named name (without regard to ASCII case), whose hash is
    // hash, or the empty slot where it would go.
    std::size_t slotOf(std::string_view name, std::uint32_t hash) const;
    // Doubles the table, keeping it at most half full.
    void growSlots();

    std::string m_text; // without a UTF-8 mark; a UTF-16 file decoded
    bool m_utf16;
    LeadBytes m_lead;
    std::vector<Section> m_sections; // the first header of each name, in file order
    // An open-addressing table over m_sections, at most half full. A few allocations for all
    // names, where a node per name would cost more than the reading.
    std::vector<Slot> m_slots;
};

// True when writing this section, key and value keeps the file's line structure and can be
// read back: no line break or NUL anywhere, no ']' in the section (the second byte of a
// double-byte character of the system code page is no ']') and no section that ends in the
// first byte of one (its ']' would become the second), no '=' in the key, a key that
// does not start like a comment or a header, and names that do not start or end with a tab or
// vertical tab once the outer spaces are dropped.
bool iniTextKeepsLines(std::string_view section, std::string_view key, std::string_view value);

} // namespace velmora
