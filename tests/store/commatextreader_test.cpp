#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "commatext.h"
#include "commatextreader.h"
#include "error.h"

namespace velmora {
namespace {

using namespace std::string_literals;
using Lines = std::vector<std::vector<std::string>>;

FileBytes bytesOf(const std::string &text)
{
    FileBytes bytes(text.size());
    std::memcpy(bytes.data(), text.data(), text.size());
    return bytes;
}

// What the reader gives for a text: the first two fields of every line, then the message of
// the error that stopped it, if any.
std::pair<Lines, std::string> read(const std::string &text)
{
    const FileBytes bytes = bytesOf(text);
    CommaTextReader<2> reader(bytes);
    Lines lines;
    try {
        while (reader.next())
            lines.push_back({ std::string(reader.fields()[0]), std::string(reader.fields()[1]) });
    } catch (const Error &error) {
        return { lines, error.what() };
    }
    return { lines, "" };
}

// The same by the general rule: the text cut into lines, each split by SplitCommaText.
std::pair<Lines, std::string> splitLines(std::string text)
{
    text = text.substr(0, text.find('\0'));
    Lines lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find_first_of("\r\n", at), text.size());
        const std::vector<std::string> fields = SplitCommaText(text.substr(at, end - at));
        if (fields.size() < 2)
            return { lines,
                "リストのインデックスが範囲を超えています (" + std::to_string(fields.size())
                    + ")" };
        lines.push_back({ fields[0], fields[1] });
        at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return { lines, "" };
}

// Lines as a save writes them are read directly, every other line by the general rule; both
// must give what the general rule gives.
TEST(CommaTextReaderTest, ReadsEveryLineAsTheGeneralRuleDoes)
{
    const char *const texts[] = {
        "\"01\",\"a\"\r\n\"02\",\"b\"\r\n",
        "\"01\",\"a\",\"more\",\"fields\"\r\n\"02\",\"b\"x\r\n\"03\",\"c\",\r\n",
        "\"\",\"\"\n\"\",\"\"\r\"\",\"\"",
        "\"say \"\"hi\"\"\",\"b\"\r\n\"a\",\"b\"\"\"\r\n",
        "\"a\",  \"b\"\r\n\"a\" ,\"b\"\r\n \"a\",\"b\"\r\n",
        "01,a\r\n\"01\",a\r\n01,\"a\"\r\n",
        "\"a\",\"b\r\n\"c\",\"d\"\r\n",
        "\"a\",\"unterminated",
        "\"a\r\",\"b\"\r\n",
        "\"a\",\"b\"\r\n\r\n\"c\",\"d\"\r\n",
        "\"a\"\r\n",
        "\"a\"x\"b\"\r\n\"a\";\"b\"\r\n",
        "\"設定\",\"値\"\r\n\"\x95\x5C\",\"\x83\x7C\"\r\n",
        "\"tab\tinside\",\"\x01\x1F\"\r\n",
        // Quotes and line ends on either side of each 16-byte block's edge.
        "\"0123456789abc\",\"x\"\r\n\"0123456789abcd\",\"x\"\r\n\"0123456789abcde\",\"x\"\n",
        "\"0123456789\",\"x\"\r\n\"012345678\",\"x\"\r\n\"01234567890\",\"x\"\r\n",
        "\"a\",\"0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789\"\r\n"
        "\"b\",\"0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789",
        "\"a\",\"0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef0\r\n\"b\",\"c\"\r\n",
    };
    for (const char *const text : texts) {
        SCOPED_TRACE(text);
        EXPECT_EQ(read(text), splitLines(text));
    }
    const std::string withNul = "\"a\",\"b\"\r\n\"c\0d\",\"e\"\r\n\"f\",\"g\"\r\n"s;
    EXPECT_EQ(read(withNul), splitLines(withNul));
}

} // namespace
} // namespace velmora
