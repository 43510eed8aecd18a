// The INI engine on any file bytes, section, key and value, in a UTF-8 code page and in the
// Shift-JIS one, where the second byte of a character may look like '[', ']' or a letter.
// Reads never fail and the section index answers as a plain read does. A write that keeps the
// file's lines changes nothing outside its own line (or the lines it adds), reads back as the
// reading rules turn the value, and is not repeated once the value stands; a refused write leaves
// the file byte for byte.

#include <algorithm>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include <stdlib.h>

#include "codepage.h"
#include "error.h"
#include "initext.h"
#include "inivalue.h"

namespace {

using namespace velmora;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool isIniBlank(std::uint32_t unit)
{
    return unit == ' ' || unit == '\t' || unit == '\v';
}

bool isLineEnd(std::uint32_t unit)
{
    return unit == '\r' || unit == '\n';
}

// The value as a read gives it back: blanks trimmed, one pair of matching outer quotes
// removed, at most 2047 bytes.
std::string asRead(std::string_view value)
{
    while (!value.empty() && isIniBlank(std::uint8_t(value.front())))
        value.remove_prefix(1);
    while (!value.empty() && isIniBlank(std::uint8_t(value.back())))
        value.remove_suffix(1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
        && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value.substr(0, MaxIniValueBytes));
}

// A file as the engine walks it: bytes, or 16-bit units after a UTF-16LE mark, whose odd last
// byte stays apart. textStart is where the text begins, after any byte-order mark.
struct Units
{
    std::vector<std::uint32_t> units;
    std::size_t textStart = 0;
    std::string oddByte;
};

Units unitsOf(std::string_view bytes)
{
    Units file;
    if (bytes.starts_with("\xFF\xFE")) {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            file.units.push_back(std::uint8_t(bytes[i]) | std::uint8_t(bytes[i + 1]) << 8);
        file.textStart = 1;
        if (bytes.size() % 2)
            file.oddByte = bytes.back();
        return file;
    }
    file.units.assign(bytes.begin(), bytes.end());
    for (std::uint32_t &unit : file.units)
        unit &= 0xFF;
    file.textStart = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    return file;
}

bool holdsLineEnd(
    std::vector<std::uint32_t>::const_iterator from, std::vector<std::uint32_t>::const_iterator to)
{
    return std::any_of(from, to, isLineEnd);
}

// Lines added at `at` of the old file: whole lines at a line start, or at the very end of a file
// whose last line has no line end, led by one. A new key adds one line, a new section two.
bool addsWholeLines(const Units &before, const Units &after, std::size_t at)
{
    const std::vector<std::uint32_t> &old = before.units;
    const auto added = after.units.begin() + std::ptrdiff_t(at);
    const auto addedEnd = added + std::ptrdiff_t(after.units.size() - old.size());
    auto line = added;
    if (at == old.size() && at > before.textStart && !isLineEnd(old[at - 1])) {
        if (line == addedEnd || !isLineEnd(*line))
            return false;
        line += *line == '\r' && line + 1 != addedEnd && line[1] == '\n' ? 2 : 1;
    } else if (at != before.textStart
        && (!isLineEnd(old[at - 1])
            || (old[at - 1] == '\r' && at < old.size() && old[at] == '\n'))) {
        return false; // not a line start, or between the CR and LF of one line end
    }
    if (line == addedEnd || !isLineEnd(addedEnd[-1]))
        return false;
    if (addedEnd[-1] == '\r' && at < old.size() && old[at] == '\n')
        return false; // its last CR would pair with the LF of the line after it
    std::size_t lines = 0;
    while (line != addedEnd) {
        const auto end = std::find_if(line, addedEnd, isLineEnd);
        line = end + (*end == '\r' && end + 1 != addedEnd && end[1] == '\n' ? 2 : 1);
        ++lines;
    }
    return lines == 1 || lines == 2;
}

// True when after differs from before only inside one entry's value, or by whole lines added
// in one place.
bool changesOnlyItsLine(std::string_view before, std::string_view after)
{
    const Units a = unitsOf(before);
    const Units b = unitsOf(after);
    if (a.oddByte != b.oddByte || a.textStart != b.textStart)
        return false;
    const std::vector<std::uint32_t> &old = a.units;
    const std::vector<std::uint32_t> &now = b.units;
    const std::size_t shorter = std::min(old.size(), now.size());
    const std::size_t prefix = std::size_t(
        std::mismatch(old.begin(), old.begin() + std::ptrdiff_t(shorter), now.begin()).first
        - old.begin());
    const std::size_t suffix = std::size_t(
        std::mismatch(old.rbegin(), old.rbegin() + std::ptrdiff_t(shorter), now.rbegin()).first
        - old.rbegin());

    // Edited in place: the changed bytes lie after the '=' of one line and hold no line end.
    const std::size_t kept = std::min(suffix, shorter - prefix);
    const auto oldFrom = old.begin() + std::ptrdiff_t(prefix);
    const auto oldTo = old.end() - std::ptrdiff_t(kept);
    const auto nowFrom = now.begin() + std::ptrdiff_t(prefix);
    const auto nowTo = now.end() - std::ptrdiff_t(kept);
    if (!holdsLineEnd(oldFrom, oldTo) && !holdsLineEnd(nowFrom, nowTo)) {
        auto lineStart = oldFrom;
        while (lineStart != old.begin() + std::ptrdiff_t(a.textStart) && !isLineEnd(lineStart[-1]))
            --lineStart;
        return std::find(lineStart, oldFrom, std::uint32_t('=')) != oldFrom;
    }

    // Lines added: the old file stands whole around them, in one of the places they fit.
    if (now.size() <= old.size() || prefix + suffix < old.size())
        return false;
    for (std::size_t at = old.size() - std::min(suffix, old.size()); at <= prefix; ++at) {
        if (at >= a.textStart && addsWholeLines(a, b, at))
            return true;
    }
    return false;
}

// A directory of our own for the writes that must be refused, removed at exit.
class ScratchDirectory
{
public:
    ScratchDirectory()
        : m_path((std::filesystem::temp_directory_path() / "velmora-fuzz-XXXXXX").string())
    {
        require(::mkdtemp(m_path.data()) != nullptr);
    }
    ~ScratchDirectory() { std::filesystem::remove_all(m_path); }

    const std::string &path() const { return m_path; }

private:
    std::string m_path;
};

const ScratchDirectory &scratchDirectory()
{
    static const ScratchDirectory directory;
    return directory;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), {} };
}

void checkRefusedWrite(std::string_view fileBytes, const std::string &section,
    const std::string &key, const std::string &value)
{
    const std::string file = scratchDirectory().path() + "/t.ini";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << fileBytes;
    std::string message;
    try {
        WriteIniValue(file, section, key, value);
    } catch (const Error &error) {
        message = error.what();
    }
    require(message == file + " に書き込めません" && readFile(file) == fileBytes);
    require(std::distance(
                std::filesystem::directory_iterator(std::filesystem::path(file).parent_path()),
                std::filesystem::directory_iterator())
        == 1);
}

void checkWrite(std::string_view fileBytes, std::string_view section, std::string_view key,
    std::string_view value)
{
    // A UTF-16 file holds text: a value that the code page cannot convert reads back converted.
    const bool readsBackAsWritten
        = !fileBytes.starts_with("\xFF\xFE") || utf8ToSystem(systemToUtf8(value)) == value;
    const std::optional<std::string> written = setIniValue(fileBytes, section, key, value);
    if (!written) {
        if (readsBackAsWritten)
            require(findIniValue(fileBytes, section, key) == asRead(value));
        return;
    }
    require(*written != fileBytes && changesOnlyItsLine(fileBytes, *written));
    if (readsBackAsWritten) {
        require(findIniValue(*written, section, key) == asRead(value));
        require(IniSnapshot(*written).find(section, key) == asRead(value));
    }
    require(!setIniValue(*written, section, key, value));
}

bool hasShiftJisLocale()
{
    static const bool has = [] {
        const bool found = std::setlocale(LC_ALL, "ja_JP.SJIS") != nullptr;
        std::setlocale(LC_ALL, "C.UTF-8");
        return found;
    }();
    return has;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const bool shiftJis = input.ConsumeBool() && hasShiftJisLocale();
    std::setlocale(LC_ALL, shiftJis ? "ja_JP.SJIS" : "C.UTF-8");
    const std::string section = input.ConsumeRandomLengthString();
    const std::string key = input.ConsumeRandomLengthString();
    const std::string value = input.ConsumeRandomLengthString();
    const std::string fileBytes = input.ConsumeRemainingBytesAsString();

    const std::string found = findIniValue(fileBytes, section, key);
    require(found.size() <= MaxIniValueBytes && found.find('\0') == std::string::npos);
    require(IniSnapshot(fileBytes).find(section, key) == found);

    const bool keepsLines = iniTextKeepsLines(section, key, value);
    if (keepsLines)
        checkWrite(fileBytes, section, key, value);
    if (!keepsLines)
        checkRefusedWrite(fileBytes, section, key, value);
    return 0;
}
