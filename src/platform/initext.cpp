#include "initext.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "codepage.h"

namespace velmora {

namespace {

constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view Utf16Mark = "\xFF\xFE";
constexpr std::size_t npos = std::string_view::npos;

// Inside the file, blanks are space, tab and vertical tab.
constexpr bool isIniBlank(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\v';
}

std::string_view trimIniBlanks(std::string_view text)
{
    while (!text.empty() && isIniBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isIniBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string_view trimSpaces(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A name as the caller gives it: a C string, its outer spaces ignored.
std::string_view callerName(std::string_view name)
{
    return trimSpaces(name.substr(0, name.find('\0')));
}

constexpr char asciiLower(char byte)
{
    return byte >= 'A' && byte <= 'Z' ? char(byte - 'A' + 'a') : byte;
}

// Text decoded from UTF-16 steps byte by byte, as UTF-8 does.
const LeadBytes NoLeadBytes;

// True when a and b are one name: ASCII letters match without regard to case; the second byte
// of a double-byte character is no letter and must match exactly.
bool sameName(std::string_view a, std::string_view b, const LeadBytes &lead)
{
    if (a.size() != b.size())
        return false;
    std::size_t i = 0;
    if (lead.none()) {
        // Names mostly share their spelling: skip eight equal bytes at a time.
        for (std::uint64_t x, y; i + 8 <= a.size(); i += 8) {
            std::memcpy(&x, a.data() + i, 8);
            std::memcpy(&y, b.data() + i, 8);
            if (x != y)
                break;
        }
    }
    for (; i < a.size(); ++i) {
        if (lead.startsPair(a, i)) {
            if (a.substr(i, 2) != b.substr(i, 2))
                return false;
            ++i;
        } else if (asciiLower(a[i]) != asciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

// The first byte at or after from that is byte and no second byte of a double-byte character;
// only bytes below 0x40 are never a second byte.
std::size_t findCharacter(std::string_view text, char byte, std::size_t from, const LeadBytes &lead)
{
    if (lead.none() || static_cast<unsigned char>(byte) < 0x40)
        return text.find(byte, from);
    for (std::size_t i = from; i < text.size(); i += lead.startsPair(text, i) ? 2 : 1) {
        if (text[i] == byte)
            return i;
    }
    return std::string_view::npos;
}

bool isLineEnd(char byte)
{
    return byte == '\r' || byte == '\n';
}

// One line of a text: its bytes are [begin, end); the next line starts at next.
struct Line
{
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t next = 0;

    bool hasLineEnd() const { return next > end; }
};

// Walks the lines of a text from a line start; a line ends at CR, LF or CR LF. The next CR and
// the next LF are each searched once and kept until passed, so a text of one line-end style is
// scanned about once.
class LineCursor
{
public:
    LineCursor(std::string_view text, std::size_t at)
        : m_text(text)
        , m_at(at)
        , m_cr(text.find('\r', at))
        , m_lf(text.find('\n', at))
    { }

    bool atEnd() const { return m_at >= m_text.size(); }

    Line next()
    {
        const std::size_t end = std::min(upcoming('\r', m_cr), upcoming('\n', m_lf));
        Line line { m_at, std::min(end, m_text.size()), m_text.size() };
        if (end != npos) {
            line.next = end + 1;
            if (m_text[end] == '\r' && line.next < m_text.size() && m_text[line.next] == '\n')
                ++line.next;
        }
        m_at = line.next;
        return line;
    }

private:
    std::size_t upcoming(char byte, std::size_t &found)
    {
        if (found != npos && found < m_at)
            found = m_text.find(byte, m_at);
        return found;
    }

    std::string_view m_text;
    std::size_t m_at;
    std::size_t m_cr;
    std::size_t m_lf;
};

// The position of the '[' that opens the next header line at or after from, which is a line
// start or a position inside a line already passed. Searching for '[' skips the lines of other
// sections without walking them.
std::size_t nextHeader(std::string_view text, std::size_t from)
{
    while (from < text.size()) {
        const std::size_t bracket = text.find('[', from);
        if (bracket == npos)
            return npos;
        std::size_t start = bracket;
        while (start > 0 && isIniBlank(text[start - 1]))
            --start;
        if (start == 0 || isLineEnd(text[start - 1]))
            return bracket;
        from = bracket + 1;
    }
    return npos;
}

// True when text ends in the first byte of a double-byte character, which would take the byte
// written after it as its second.
bool endsInLeadByte(std::string_view text, const LeadBytes &lead)
{
    std::size_t i = 0;
    while (i + 1 < text.size())
        i += lead.startsPair(text, i) ? 2 : 1;
    return i + 1 == text.size() && lead.contains(text[i]);
}

// True when a header's name, which never holds ']' or a line end and has no outer blanks, can
// be this caller's section.
bool canBeSectionName(std::string_view section, const LeadBytes &lead)
{
    return section.find_first_of("\r\n") == npos && findCharacter(section, ']', 0, lead) == npos
        && (section.empty() || (!isIniBlank(section.front()) && !isIniBlank(section.back())));
}

// The name of the header that opens at bracket: the text after '[' up to the first ']' or line
// end, without outer blanks.
std::string_view headerName(std::string_view text, std::size_t bracket, const LeadBytes &lead)
{
    std::size_t end = bracket + 1;
    while (end < text.size() && text[end] != ']' && !isLineEnd(text[end]))
        end += lead.startsPair(text, end) ? 2 : 1;
    end = std::min(end, text.size());
    return trimIniBlanks(text.substr(bracket + 1, end - bracket - 1));
}

// True when the header that opens at bracket is named section (see canBeSectionName). Where no
// second byte can look like ']', the name is compared where it stands, without first looking for
// its end.
bool headerNames(
    std::string_view text, std::size_t bracket, std::string_view section, const LeadBytes &lead)
{
    if (!lead.none())
        return sameName(headerName(text, bracket, lead), section, lead);
    std::size_t at = bracket + 1;
    while (at < text.size() && isIniBlank(text[at]))
        ++at;
    if (!sameName(text.substr(at, section.size()), section, lead))
        return false;
    at += section.size();
    while (at < text.size() && isIniBlank(text[at]))
        ++at;
    return at == text.size() || text[at] == ']' || isLineEnd(text[at]);
}

// Where a section and key stand in a text.
struct IniPlace
{
    bool sectionFound = false;
    // The line after which a new key of the section goes: its last entry line, or its header.
    Line lastEntry;
    // When the key was found: its line and the position of the line's first '='.
    bool keyFound = false;
    Line entry;
    std::size_t equals = 0;
};

// The '[' of the first header named section, or npos.
std::size_t findHeader(std::string_view text, std::string_view section, const LeadBytes &lead)
{
    if (!canBeSectionName(section, lead))
        return npos;
    std::size_t bracket = nextHeader(text, 0);
    while (bracket != npos && !headerNames(text, bracket, section, lead))
        bracket = nextHeader(text, bracket + 1);
    return bracket;
}

// Finds the first entry named key in the section whose header opens at bracket.
IniPlace locateInSection(
    std::string_view text, std::size_t bracket, std::string_view key, const LeadBytes &lead)
{
    IniPlace place;
    if (bracket == npos)
        return place;
    LineCursor lines(text, bracket);
    place.sectionFound = true;
    place.lastEntry = lines.next();
    while (!lines.atEnd()) {
        const Line line = lines.next();
        std::size_t first = line.begin;
        while (first < line.end && isIniBlank(text[first]))
            ++first;
        if (first == line.end || text[first] == ';')
            continue;
        if (text[first] == '[')
            break;
        const std::size_t equals = text.substr(0, line.end).find('=', first);
        if (equals == npos)
            continue;
        place.lastEntry = line;
        if (sameName(trimIniBlanks(text.substr(first, equals - first)), key, lead)) {
            place.keyFound = true;
            place.entry = line;
            place.equals = equals;
            break;
        }
    }
    return place;
}

// Finds the first section named section and in it the first entry named key.
IniPlace locate(
    std::string_view text, std::string_view section, std::string_view key, const LeadBytes &lead)
{
    return locateInSection(
        text, findHeader(text, callerName(section), lead), callerName(key), lead);
}

// The value of an entry as a read gives it: blanks trimmed, then one pair of matching outer
// quotes removed.
std::string_view entryValue(std::string_view text, const IniPlace &place)
{
    std::string_view value
        = trimIniBlanks(text.substr(place.equals + 1, place.entry.end - place.equals - 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
        && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

// The first line end of the text, which new lines copy; LF when there is none.
std::string_view lineEndStyle(std::string_view text)
{
    const std::size_t lf = text.find('\n');
    const std::size_t cr = text.substr(0, lf).find('\r');
    if (cr == npos)
        return "\n";
    return cr + 1 < text.size() && text[cr + 1] == '\n' ? "\r\n" : "\r";
}

// The change of text that sets key in section to value, or nothing when it already is so; its
// kept parts point into text.
std::optional<IniEdit> editText(std::string_view text, std::string_view section,
    std::string_view key, std::string_view value, const LeadBytes &leadBytes)
{
    const IniPlace place = locate(text, section, key, leadBytes);
    if (place.keyFound) {
        // The line keeps its spelling up to the '=' and the blanks after it. A value that
        // starts with a blank takes their place, or every write of it would add one more.
        std::size_t keep = place.equals + 1;
        if (value.empty() || !isIniBlank(value.front())) {
            while (keep < place.entry.end && isIniBlank(text[keep]))
                ++keep;
        }
        if (text.substr(keep, place.entry.end - keep) == value)
            return std::nullopt;
        return IniEdit { text.substr(0, keep), std::string(value), text.substr(place.entry.end) };
    }

    const std::string_view lineEnd = lineEndStyle(text);
    const std::string_view sectionName = callerName(section);
    const std::string_view keyName = callerName(key);
    const std::size_t at = place.sectionFound ? place.lastEntry.next : text.size();
    const bool lineEndFirst = place.sectionFound ? !place.lastEntry.hasLineEnd()
                                                 : !text.empty() && !isLineEnd(text.back());
    std::string inserted;
    inserted.reserve(sectionName.size() + keyName.size() + value.size() + 16);
    if (lineEndFirst)
        inserted.append(lineEnd);
    if (!place.sectionFound)
        inserted.append("[").append(sectionName).append("]").append(lineEnd);
    // A CR right before the LF of an empty line would pair with it and swallow that line.
    const bool joinsNextLine = lineEnd == "\r" && at < text.size() && text[at] == '\n';
    inserted.append(keyName).append("=").append(value).append(joinsNextLine ? "\r\n" : lineEnd);
    return IniEdit { text.substr(0, at), std::move(inserted), text.substr(at) };
}

std::string joined(const IniEdit &edit)
{
    std::string text;
    text.reserve(edit.before.size() + edit.inserted.size() + edit.after.size());
    return text.append(edit.before).append(edit.inserted).append(edit.after);
}

// UTF-16LE files are handled as WTF-8 text: UTF-8 that also carries unpaired surrogates, so
// that any sequence of 16-bit units comes back exactly as it was.

void appendCodePoint(std::string &text, std::uint32_t codePoint)
{
    if (codePoint < 0x80) {
        text.push_back(char(codePoint));
    } else if (codePoint < 0x800) {
        text.push_back(char(0xC0 | (codePoint >> 6)));
        text.push_back(char(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        text.push_back(char(0xE0 | (codePoint >> 12)));
        text.push_back(char(0x80 | ((codePoint >> 6) & 0x3F)));
        text.push_back(char(0x80 | (codePoint & 0x3F)));
    } else {
        text.push_back(char(0xF0 | (codePoint >> 18)));
        text.push_back(char(0x80 | ((codePoint >> 12) & 0x3F)));
        text.push_back(char(0x80 | ((codePoint >> 6) & 0x3F)));
        text.push_back(char(0x80 | (codePoint & 0x3F)));
    }
}

void appendUnit(std::string &bytes, std::uint32_t unit)
{
    bytes.push_back(char(unit & 0xFF));
    bytes.push_back(char(unit >> 8));
}

// Whole 16-bit little-endian units to WTF-8.
std::string decodeUtf16(std::string_view bytes)
{
    const auto unit = [&](std::size_t i) {
        return std::uint32_t(static_cast<unsigned char>(bytes[2 * i]))
            | std::uint32_t(static_cast<unsigned char>(bytes[2 * i + 1])) << 8;
    };
    const std::size_t count = bytes.size() / 2;
    std::string text;
    text.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t codePoint = unit(i);
        if (codePoint >= 0xD800 && codePoint <= 0xDBFF && i + 1 < count && unit(i + 1) >= 0xDC00
            && unit(i + 1) <= 0xDFFF) {
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        }
        appendCodePoint(text, codePoint);
    }
    return text;
}

// WTF-8 to 16-bit little-endian units; a byte that starts no valid sequence becomes U+FFFD.
std::string encodeUtf16(std::string_view text)
{
    const auto byte = [&](std::size_t i) {
        return i < text.size() ? std::uint32_t(static_cast<unsigned char>(text[i])) : 0u;
    };
    const auto continues = [&](std::size_t i, std::uint32_t low, std::uint32_t high) {
        return byte(i) >= low && byte(i) <= high;
    };
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size();) {
        const std::uint32_t lead = byte(i);
        std::uint32_t codePoint = 0xFFFD;
        std::size_t length = 1;
        if (lead < 0x80) {
            codePoint = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF && continues(i + 1, 0x80, 0xBF)) {
            codePoint = (lead & 0x1F) << 6 | (byte(i + 1) & 0x3F);
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF
            && continues(i + 1, lead == 0xE0 ? 0xA0 : 0x80, 0xBF) && continues(i + 2, 0x80, 0xBF)) {
            codePoint = (lead & 0x0F) << 12 | (byte(i + 1) & 0x3F) << 6 | (byte(i + 2) & 0x3F);
            length = 3;
        } else if (lead >= 0xF0 && lead <= 0xF4
            && continues(i + 1, lead == 0xF0 ? 0x90 : 0x80, lead == 0xF4 ? 0x8F : 0xBF)
            && continues(i + 2, 0x80, 0xBF) && continues(i + 3, 0x80, 0xBF)) {
            codePoint = (lead & 0x07) << 18 | (byte(i + 1) & 0x3F) << 12 | (byte(i + 2) & 0x3F) << 6
                | (byte(i + 3) & 0x3F);
            length = 4;
        }
        if (codePoint >= 0x10000) {
            appendUnit(bytes, 0xD800 + ((codePoint - 0x10000) >> 10));
            appendUnit(bytes, 0xDC00 + ((codePoint - 0x10000) & 0x3FF));
        } else {
            appendUnit(bytes, codePoint);
        }
        i += length;
    }
    return bytes;
}

// A caller's text in the system code page as the WTF-8 of a UTF-16 file, and back. Going
// through the units gives one spelling for each sequence of units, so names compare as units.
std::string systemToText(std::string_view bytes)
{
    if (!systemCodePageIsUtf8())
        return systemToUtf8(bytes);
    return decodeUtf16(encodeUtf16(bytes));
}

std::string textToSystem(std::string_view text)
{
    if (!systemCodePageIsUtf8())
        return utf8ToSystem(text);
    return std::string(text);
}

bool isUtf16(std::string_view fileBytes)
{
    return fileBytes.starts_with(Utf16Mark);
}

// The bytes of a UTF-16 file after its mark that hold whole units; an odd last byte is left
// out and kept at the very end on write.
std::string_view utf16Units(std::string_view fileBytes)
{
    const std::string_view units = fileBytes.substr(Utf16Mark.size());
    return units.substr(0, units.size() & ~std::size_t(1));
}

std::string asReadResult(std::string_view value)
{
    value = value.substr(0, value.find('\0'));
    return std::string(value.substr(0, MaxIniValueBytes));
}

} // namespace

std::string findIniValue(std::string_view fileBytes, std::string_view section, std::string_view key)
{
    if (isUtf16(fileBytes)) {
        const std::string text = decodeUtf16(utf16Units(fileBytes));
        const IniPlace place = locate(
            text, systemToText(callerName(section)), systemToText(callerName(key)), NoLeadBytes);
        return place.keyFound ? asReadResult(textToSystem(entryValue(text, place))) : "";
    }
    if (fileBytes.starts_with(Utf8Mark))
        fileBytes.remove_prefix(Utf8Mark.size());
    const IniPlace place = locate(fileBytes, section, key, systemLeadBytes());
    return place.keyFound ? asReadResult(entryValue(fileBytes, place)) : "";
}

std::optional<IniEdit> editIniValue(std::string_view fileBytes, std::string_view section,
    std::string_view key, std::string_view value)
{
    if (isUtf16(fileBytes)) {
        // The whole text is encoded anew; only an odd last byte stays as it was.
        const std::string_view units = utf16Units(fileBytes);
        const std::string text = decodeUtf16(units);
        const std::optional<IniEdit> edit = editText(text, systemToText(callerName(section)),
            systemToText(callerName(key)), systemToText(value), NoLeadBytes);
        if (!edit)
            return std::nullopt;
        return IniEdit { {}, std::string(Utf16Mark) + encodeUtf16(joined(*edit)),
            fileBytes.substr(Utf16Mark.size() + units.size()) };
    }
    const std::size_t mark = fileBytes.starts_with(Utf8Mark) ? Utf8Mark.size() : 0;
    std::optional<IniEdit> edit
        = editText(fileBytes.substr(mark), section, key, value, systemLeadBytes());
    if (edit)
        edit->before = fileBytes.substr(0, mark + edit->before.size());
    return edit;
}

std::optional<std::string> setIniValue(std::string_view fileBytes, std::string_view section,
    std::string_view key, std::string_view value)
{
    const std::optional<IniEdit> edit = editIniValue(fileBytes, section, key, value);
    if (!edit)
        return std::nullopt;
    return joined(*edit);
}

namespace {

// A hash of name that is one for names that sameName finds alike: every byte goes in with its
// ASCII capitals made small (second bytes too, which only makes more names share a hash). Eight
// bytes go in at a time, as a large file has many headers to note.
std::uint32_t nameHash(std::string_view name)
{
    constexpr std::uint64_t Ones = 0x0101010101010101;
    constexpr std::uint64_t Highs = 0x8080808080808080;
    const auto lowered = [](std::uint64_t word) {
        const std::uint64_t ascii = word & ~Highs;
        const std::uint64_t fromA = ascii + Ones * (0x80 - 'A'); // high bit: at least 'A'
        const std::uint64_t pastZ = ascii + Ones * (0x7F - 'Z'); // high bit: past 'Z'
        const std::uint64_t capitals = (fromA ^ pastZ) & ~word & Highs;
        return word | capitals >> 2; // 0x80 >> 2 is the bit that makes a capital small
    };
    std::uint64_t hash = name.size() * 0x9E3779B97F4A7C15ull;
    const auto mix = [&](std::uint64_t word) {
        hash = std::rotl((hash ^ lowered(word)) * 0xFF51AFD7ED558CCDull, 29);
    };
    std::size_t at = 0;
    for (; at + 8 <= name.size(); at += 8) {
        std::uint64_t word;
        std::memcpy(&word, name.data() + at, 8);
        mix(word);
    }
    if (at < name.size()) {
        std::uint64_t word = 0;
        std::memcpy(&word, name.data() + at, name.size() - at);
        mix(word);
    }
    // Every bit of the result depends on every bit that went in.
    hash = (hash ^ hash >> 33) * 0xC4CEB9FE1A85EC53ull;
    return std::uint32_t(hash ^ hash >> 33);
}

} // namespace

IniSnapshot::IniSnapshot(std::string_view fileBytes)
    : m_utf16(isUtf16(fileBytes))
    , m_lead(m_utf16 ? NoLeadBytes : systemLeadBytes())
{
    if (m_utf16) {
        m_text = decodeUtf16(utf16Units(fileBytes));
    } else {
        if (fileBytes.starts_with(Utf8Mark))
            fileBytes.remove_prefix(Utf8Mark.size());
        m_text = fileBytes;
    }
    // Only the first section of a name is ever searched, so only it is noted: the table grows
    // with the names, never with the headers, however many of them repeat a name.
    m_slots.assign(16, Slot {});
    for (std::size_t bracket = nextHeader(m_text, 0); bracket != npos;
         bracket = nextHeader(m_text, bracket + 1)) {
        const std::string_view name = headerName(m_text, bracket, m_lead);
        const std::uint32_t hash = nameHash(name);
        std::size_t slot = slotOf(name, hash);
        if (m_slots[slot].section != 0)
            continue;
        if (2 * (m_sections.size() + 1) > m_slots.size()) {
            growSlots();
            slot = slotOf(name, hash);
        }
        m_sections.push_back({ name, bracket });
        m_slots[slot] = { hash, std::uint32_t(m_sections.size()) };
    }
}

void IniSnapshot::growSlots()
{
    const std::vector<Slot> old = std::exchange(m_slots, std::vector<Slot>(2 * m_slots.size()));
    const std::size_t mask = m_slots.size() - 1;
    for (const Slot &taken : old) {
        if (taken.section == 0)
            continue;
        std::size_t slot = taken.hash & mask;
        while (m_slots[slot].section != 0)
            slot = (slot + 1) & mask;
        m_slots[slot] = taken;
    }
}

std::size_t IniSnapshot::slotOf(std::string_view name, std::uint32_t hash) const
{
    const std::size_t mask = m_slots.size() - 1;
    std::size_t slot = hash & mask;
    for (; m_slots[slot].section != 0; slot = (slot + 1) & mask) {
        const Slot &taken = m_slots[slot];
        if (taken.hash == hash && sameName(m_sections[taken.section - 1].name, name, m_lead))
            break;
    }
    return slot;
}

std::string IniSnapshot::find(std::string_view section, std::string_view key) const
{
    std::string sectionText(callerName(section));
    std::string keyText(callerName(key));
    if (m_utf16) {
        sectionText = systemToText(sectionText);
        keyText = systemToText(keyText);
    }
    if (!canBeSectionName(sectionText, m_lead))
        return {};
    const Slot &slot = m_slots[slotOf(sectionText, nameHash(sectionText))];
    if (slot.section == 0)
        return {};
    const IniPlace place
        = locateInSection(m_text, m_sections[slot.section - 1].bracket, keyText, m_lead);
    if (!place.keyFound)
        return {};
    const std::string_view value = entryValue(m_text, place);
    if (m_utf16)
        return asReadResult(textToSystem(value));
    return asReadResult(value);
}

bool iniTextKeepsLines(std::string_view section, std::string_view key, std::string_view value)
{
    constexpr std::string_view lineBreaking("\r\n\0", 3);
    for (const std::string_view text : { section, key, value }) {
        if (text.find_first_of(lineBreaking) != npos)
            return false;
    }
    const LeadBytes &lead = systemLeadBytes();
    if (findCharacter(section, ']', 0, lead) != npos || endsInLeadByte(trimSpaces(section), lead)
        || key.find('=') != npos)
        return false;
    const auto outerBlank = [](std::string_view name) {
        name = trimSpaces(name);
        return !name.empty() && (isIniBlank(name.front()) || isIniBlank(name.back()));
    };
    if (outerBlank(section) || outerBlank(key))
        return false;
    const std::string_view keyName = trimSpaces(key);
    return keyName.empty() || (keyName.front() != ';' && keyName.front() != '[');
}

} // namespace velmora
