#include <gtest/gtest.h>

#include "commatext.h"

using velmora::QuoteCommaField;
using velmora::SplitCommaText;
using Fields = std::vector<std::string>;

struct CommaCase
{
    const char *name;
    std::string line;
    Fields fields;
};

void PrintTo(const CommaCase &c, std::ostream *os)
{
    *os << c.name;
}

class SplitCommaTextTest : public testing::TestWithParam<CommaCase>
{
};

TEST_P(SplitCommaTextTest, SplitsAsTheItemFilesNeed)
{
    EXPECT_EQ(SplitCommaText(GetParam().line), GetParam().fields);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(Lines, SplitCommaTextTest,
    testing::Values(CommaCase { "QuotedFields", R"("01","a","b")", { "01", "a", "b" } },
        CommaCase { "PlainFields", "01,a,b", { "01", "a", "b" } },
        CommaCase { "EmptyLine", "", {} }, CommaCase { "BlankLine", " \t\x01 ", {} },
        CommaCase { "BlanksSeparateLikeCommas",
            "a b\tc\x1F"
            "d",
            { "a", "b", "c", "d" } },
        CommaCase { "BlanksAroundCommas", "  a , b ,c", { "a", "b", "c" } },
        CommaCase { "AdjacentCommasGiveAnEmptyField", "a,,b", { "a", "", "b" } },
        CommaCase { "BlankBetweenCommasGivesAnEmptyField", "a, ,b", { "a", "", "b" } },
        CommaCase { "TrailingCommaGivesAnEmptyField", "a,", { "a", "" } },
        CommaCase { "CommaThenBlanksGivesNoField", "a, ", { "a" } },
        CommaCase { "LoneComma", ",", { "", "" } }, CommaCase { "LeadingComma", ",a", { "", "a" } },
        CommaCase { "EmptyQuotedField", R"("")", { "" } },
        CommaCase { "QuotedKeepsCommasAndBlanks", R"(" a, b ",c)", { " a, b ", "c" } },
        CommaCase { "DoubledQuotes", R"("say ""hi""",x)", { R"(say "hi")", "x" } },
        CommaCase { "OnlyADoubledQuote", R"("""")", { R"(")" } },
        CommaCase { "TextGluedToClosingQuote", R"("ab"cd,e)", { "ab", "cd", "e" } },
        CommaCase { "QuotedFieldsSeparatedByBlank", R"("a" "b")", { "a", "b" } },
        CommaCase { "QuoteInsidePlainFieldIsOrdinary", R"(a"b,c)", { R"(a"b)", "c" } },
        CommaCase { "UnterminatedQuoteLosesLastByte", R"("abc)", { "ab" } },
        CommaCase { "UnterminatedAfterDoubledQuote", R"("a""b)", { R"(a")" } },
        CommaCase { "UnterminatedEndingInDoubledQuote", R"("a"")", { "a" } },
        CommaCase { "LoneQuote", R"(")", { "" } },
        CommaCase { "ShiftJisTrailBytes5CAnd7C", "\"\x95\x5C\",\x83\x7C\x83\x5C",
            { "\x95\x5C", "\x83\x7C\x83\x5C" } },
        CommaCase { "Utf8Bytes", "\"設定\",値", { "設定", "値" } },
        CommaCase { "NulEndsTheLine", "a,b\0,c"s, { "a", "b" } }),
    [](const testing::TestParamInfo<CommaCase> &info) { return std::string(info.param.name); });

TEST(QuoteCommaFieldTest, ReadsBackUnchanged)
{
    for (const std::string &field :
        { ""s, "plain"s, " a, b "s, R"(")"s, R"(""x"")"s, "\x95\x5C\t\x83\x7C"s, ","s }) {
        EXPECT_EQ(SplitCommaText(QuoteCommaField(field) + "," + QuoteCommaField(field)),
            (Fields { field, field }))
            << field;
    }
}
