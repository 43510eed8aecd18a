#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "commatext.h"
#include "commatextwriter.h"

namespace velmora {
namespace {

using namespace std::string_literals;

// The lines as QuoteCommaField writes each field, and whether a field breaks its line.
std::string expectedLine(const std::vector<std::string> &fields)
{
    std::string line;
    for (const std::string &field : fields) {
        if (!line.empty())
            line += ',';
        line += QuoteCommaField(field);
    }
    return line + "\r\n";
}

bool expectedToBreak(const std::vector<std::string> &fields)
{
    for (const std::string &field : fields) {
        if (field.find_first_of("\r\n\0"s) != std::string::npos)
            return true;
    }
    return false;
}

// Writes lines and returns all that reached put, and the answer of each line.
struct Written
{
    std::string text;
    std::vector<bool> fits;
    bool finished = false;
};

Written writeLines(const std::vector<std::vector<std::string>> &lines)
{
    Written written;
    const PutBytes put = [&](std::string_view bytes) {
        written.text.append(bytes);
        return true;
    };
    CommaTextWriter writer(put);
    for (const std::vector<std::string> &fields : lines) {
        if (fields.size() == 2)
            written.fits.push_back(writer.writeLine({ fields[0], fields[1] }));
        else
            written.fits.push_back(writer.writeLine({ fields[0] }));
    }
    written.finished = writer.finish();
    return written;
}

// Every special byte at every place of fields of every length that a word of eight bytes can
// split: quotes are doubled, and exactly the line ends and NUL bytes refuse the line.
TEST(CommaTextWriterTest, QuotesAndRefusesEveryByteAtEveryPlace)
{
    for (const char special : { '"', '\r', '\n', '\0', '\t', '\x0B', '\x0E', '\xE3', ',' }) {
        for (std::size_t size = 1; size <= 24; ++size) {
            for (std::size_t at = 0; at < size; ++at) {
                std::string field(size, 'a');
                field[at] = special;
                const std::vector<std::string> fields { "01", field };
                const Written written = writeLines({ fields });
                SCOPED_TRACE(testing::Message() << int(special) << " at " << at << " of " << size);
                EXPECT_EQ(written.text, expectedLine(fields));
                EXPECT_EQ(written.fits.front(), !expectedToBreak(fields));
            }
        }
    }
}

// Lines that cross the buffer's end at every place, and a field longer than the buffer, come
// out whole and in order.
TEST(CommaTextWriterTest, LinesAcrossTheBufferComeOutWhole)
{
    std::vector<std::vector<std::string>> lines;
    std::string expected;
    for (std::size_t i = 0; i < 20000; ++i) {
        lines.push_back({ std::to_string(i), std::string(i % 37, i % 5 ? 'v' : '"') });
        if (i == 7000)
            lines.push_back({ "long", std::string(200000, 'l') + "\"" + std::string(70000, 'm') });
    }
    for (const std::vector<std::string> &fields : lines)
        expected += expectedLine(fields);
    const Written written = writeLines(lines);
    EXPECT_TRUE(written.finished);
    const auto [differs, _] = std::ranges::mismatch(written.text, expected);
    EXPECT_TRUE(written.text == expected)
        << "sizes " << written.text.size() << " and " << expected.size() << ", first difference at "
        << differs - written.text.begin();
}

TEST(CommaTextWriterTest, FailedPutIsReportedAtTheEnd)
{
    int calls = 0;
    const PutBytes put = [&](std::string_view) { return ++calls > 1; };
    CommaTextWriter writer(put);
    for (int i = 0; i < 10000; ++i)
        EXPECT_TRUE(writer.writeLine({ "value", "of some length" }));
    EXPECT_FALSE(writer.finish());
    EXPECT_EQ(calls, 1); // nothing more is handed over once put has failed
}

} // namespace
} // namespace velmora
