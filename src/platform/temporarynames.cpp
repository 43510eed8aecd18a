#include "temporarynames.h"

#include <algorithm>
#include <optional>
#include <random>

#include "codepage.h"

namespace velmora::replacement {

namespace {

constexpr std::string_view Tag = ".velmora-";
constexpr std::string_view JournalTag = "journal";
constexpr std::size_t UniqueLength = 6;
constexpr std::string_view UniqueCharacters
    = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// The longest start of name that fits in room bytes and does not end inside a character.
std::string_view headOf(std::string_view name, std::size_t room)
{
    if (name.size() <= room)
        return name;
    const bool utf8 = systemCodePageIsUtf8();
    const LeadBytes &lead = systemLeadBytes();
    std::size_t end = 0;
    for (;;) {
        const std::size_t length = utf8
            ? std::max<std::size_t>(validSequenceLength(name.substr(end)), 1)
            : (lead.startsPair(name, end) ? 2 : 1);
        if (end + length > room)
            return name.substr(0, end);
        end += length;
    }
}

// The start of name that our names beside it carry, leaving room for a tag of tagLength bytes.
std::string_view headFor(std::string_view name, std::size_t limit, std::size_t tagLength)
{
    const std::size_t fixed = 1 + Tag.size() + tagLength;
    return headOf(name, limit > fixed ? limit - fixed : 0);
}

// Six letters and digits with at least one digit, one capital and one small letter: no word
// that a person ends a name with, such as "backup", passes for one.
bool isUnique(std::string_view text)
{
    const auto has = [text](std::string_view characters) {
        return text.find_first_of(characters) != std::string_view::npos;
    };
    return text.size() == UniqueLength
        && text.find_first_not_of(UniqueCharacters) == std::string_view::npos
        && has(UniqueCharacters.substr(0, 26)) && has(UniqueCharacters.substr(26, 26))
        && has(UniqueCharacters.substr(52));
}

// The start of the file's name that entry carries when it has the form of our temporary files'
// names: "." + that start + Tag + a unique part.
std::optional<std::string_view> headOfTemporary(std::string_view entry)
{
    const std::size_t fixed = 1 + Tag.size() + UniqueLength;
    if (entry.size() < fixed || entry.front() != '.'
        || !isUnique(entry.substr(entry.size() - UniqueLength))
        || entry.substr(entry.size() - fixed + 1, Tag.size()) != Tag)
        return std::nullopt;
    return entry.substr(1, entry.size() - fixed);
}

// True when entry is the name of one of our temporary files: of the file called name, or of any
// file when name is empty.
bool isTemporaryName(std::string_view entry, std::string_view name, std::size_t limit)
{
    const std::optional<std::string_view> head = headOfTemporary(entry);
    return head && (name.empty() || *head == headFor(name, limit, UniqueLength));
}

} // namespace

std::string newTemporaryName(const Replacement &file)
{
    thread_local std::mt19937_64 random { std::random_device()() };
    std::uniform_int_distribution<std::size_t> pick(0, UniqueCharacters.size() - 1);
    std::string unique(UniqueLength, '\0');
    do
        std::ranges::generate(unique, [&] { return UniqueCharacters[pick(random)]; });
    while (!isUnique(unique)); // more than half of all draws pass
    std::string name = ".";
    name.append(headFor(file.name, nameLimit(file), UniqueLength)).append(Tag).append(unique);
    return name;
}

bool mayBeTemporaryNameOf(std::string_view entry, std::string_view name)
{
    const std::optional<std::string_view> head = headOfTemporary(entry);
    return head && name.starts_with(*head);
}

std::string journalNameFor(std::string_view name, std::size_t limit)
{
    std::string journal = ".";
    journal.append(headFor(name, limit, JournalTag.size())).append(Tag).append(JournalTag);
    return journal;
}

void removeStaleTemporaries(const Replacement &file, bool ofAnyFile)
{
    const std::size_t limit = nameLimit(file);
    for (const std::string &entry : namesWithin(file)) {
        if (isTemporaryName(entry, ofAnyFile ? std::string_view() : file.name, limit)
            && entry != file.temporaryName)
            removeUnlessHeld(file, entry);
    }
}

} // namespace velmora::replacement
