#include "codepage.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <langinfo.h>
#include <map>

#include <iconv.h>

namespace velmora {

namespace {

// The iconv name of the locale's character set; empty for UTF-8 and plain ASCII, which are
// handled as UTF-8. Shift-JIS locales use CP932, the code page Windows writes, because glibc's
// "SHIFT_JIS" loses the characters that Windows adds to it.
std::string localeCharset()
{
    std::string name = nl_langinfo(CODESET);
    for (char &c : name)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    if (name == "UTF-8" || name == "UTF8" || name == "ANSI_X3.4-1968" || name == "ASCII"
        || name.empty())
        return {};
    if (name == "SHIFT_JIS" || name == "SJIS" || name == "SHIFT-JIS" || name == "CP932"
        || name == "WINDOWS-31J" || name == "MS932")
        return "CP932";
    return name;
}

std::string convert(
    std::string_view input, const char *to, const char *from, std::string_view replacement)
{
    const bool fromUtf8 = std::strcmp(from, "UTF-8") == 0;
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1))
        return std::string(input);
    std::string output;
    output.reserve(input.size() * 2);
    char *in = const_cast<char *>(input.data());
    std::size_t inLeft = input.size();
    char buffer[4096];
    while (inLeft > 0) {
        char *out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t done = iconv(cd, &in, &inLeft, &out, &outLeft);
        output.append(buffer, out);
        if (done == std::size_t(-1) && errno != E2BIG) {
            // A character the target cannot hold, or an invalid or cut-off sequence: replace it
            // and go on after it. From UTF-8 a whole character goes; otherwise one byte.
            output.append(replacement);
            const std::size_t skipped = fromUtf8 ? validSequenceLength({ in, inLeft }) : 0;
            in += std::max<std::size_t>(skipped, 1);
            inLeft -= std::max<std::size_t>(skipped, 1);
        }
    }
    iconv_close(cd);
    return output;
}

// True when the byte is the start of a character that needs more bytes: the converter asks for
// more input rather than refusing it. That holds for the code page's whole lead byte ranges, also
// for rows where no character is assigned.
bool startsLongerCharacter(iconv_t cd, unsigned char byte)
{
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char input = char(byte);
    char *in = &input;
    std::size_t inLeft = 1;
    char buffer[16];
    char *out = buffer;
    std::size_t outLeft = sizeof buffer;
    return iconv(cd, &in, &inLeft, &out, &outLeft) == std::size_t(-1) && errno == EINVAL;
}

LeadBytes leadBytesOf(const std::string &charset)
{
    LeadBytes lead;
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == iconv_t(-1))
        return lead;
    for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
        if (startsLongerCharacter(cd, static_cast<unsigned char>(byte)))
            lead.add(static_cast<unsigned char>(byte));
    }
    iconv_close(cd);
    return lead;
}

} // namespace

const LeadBytes &systemLeadBytes()
{
    static const LeadBytes none;
    const std::string charset = localeCharset();
    if (charset.empty())
        return none;
    // Tests switch locales; the program keeps one.
    thread_local std::map<std::string, LeadBytes> known;
    auto found = known.find(charset);
    if (found == known.end())
        found = known.emplace(charset, leadBytesOf(charset)).first;
    return found->second;
}

bool systemCodePageIsUtf8()
{
    return localeCharset().empty();
}

std::string systemToUtf8(std::string_view bytes)
{
    const std::string charset = localeCharset();
    if (charset.empty())
        return validUtf8(bytes);
    return convert(bytes, "UTF-8", charset.c_str(), "\xEF\xBF\xBD");
}

std::string utf8ToSystem(std::string_view text)
{
    const std::string charset = localeCharset();
    if (charset.empty())
        return std::string(text);
    return convert(text, charset.c_str(), "UTF-8", "?");
}

} // namespace velmora
