#include "itemfiles.h"

#include <algorithm>
#include <array>
#include <unordered_map>

#include "atomicfile.h"
#include "codepage.h"
#include "commatext.h"
#include "error.h"
#include "filebytes.h"

namespace velmora {

namespace {

std::string readItemFile(const std::string &path)
{
    std::optional<std::string> bytes = readFileBytes(path);
    if (!bytes)
        throw Error(formatMessage("ファイル %s は開けません", systemToUtf8(path)));
    return std::move(*bytes);
}

// Calls onLine for every line of text: a line ends at CR, LF or CR LF; a line end at the very
// end starts no further line; a NUL byte ends the text.
template<typename OnLine>
void forEachLine(std::string_view text, OnLine onLine)
{
    text = text.substr(0, text.find('\0'));
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = at;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r')
            ++end;
        if (end == text.size()) {
            onLine(text.substr(at));
            return;
        }
        onLine(text.substr(at, end - at));
        at = end + 1;
        if (text[end] == '\r' && at < text.size() && text[at] == '\n')
            ++at;
    }
}

// About the number of lines, to reserve room for the records.
std::size_t countLines(std::string_view text)
{
    return std::size_t(std::count(text.begin(), text.end(), '\n')) + 1;
}

// Splits a line into the fields of one record: field i goes to *targets[i], further fields are
// ignored, and too few fields raise the error that names the first missing position.
template<std::size_t count>
void readRecord(std::string_view line, const std::array<std::string *, count> &targets)
{
    std::size_t index = 0;
    ForEachCommaField(line, [&](std::string_view field) {
        if (index < count)
            targets[index]->assign(field);
        ++index;
    });
    if (index < count)
        throw Error("リストのインデックスが範囲を超えています (" + std::to_string(index) + ")");
}

void appendLine(std::string &text, std::initializer_list<std::string_view> fields)
{
    bool first = true;
    for (const std::string_view field : fields) {
        if (!first)
            text.push_back(',');
        first = false;
        text += QuoteCommaField(field);
    }
    text += "\r\n";
}

} // namespace

std::string TwoDigitCode(std::size_t number)
{
    std::string code = std::to_string(number);
    if (code.size() < 2)
        code.insert(0, 2 - code.size(), '0');
    return code;
}

ItemList LoadItemFile(const std::string &path)
{
    const std::string text = readItemFile(path);
    ItemList items;
    items.reserve(countLines(text));
    forEachLine(text, [&](std::string_view line) {
        TItemData &item = items.emplace_back();
        readRecord<5>(line, { &item.Code, &item.Name, &item.FileName, &item.Section, &item.Key });
    });
    return items;
}

std::vector<TValueData> LoadValueFile(const std::string &path)
{
    const std::string text = readItemFile(path);
    std::vector<TValueData> values;
    values.reserve(countLines(text));
    forEachLine(text, [&](std::string_view line) {
        TValueData &value = values.emplace_back();
        readRecord<4>(line, { &value.ItemCode, &value.ValueCode, &value.Name, &value.Value });
    });
    return values;
}

void LinkValues(ItemList &items, std::vector<TValueData> values)
{
    // The values of one code form a chain in file order through next[].
    constexpr std::size_t None = std::size_t(-1);
    struct Chain
    {
        std::size_t first = None, last = None, count = 0;
        std::size_t itemsLeft = 0; // items still to receive the values; the last one moves them
    };
    std::unordered_map<std::string, Chain> chains; // keys copied, as values get moved out
    chains.reserve(items.size());
    std::vector<std::size_t> next(values.size(), None);
    Chain *chainOfPrevious = nullptr; // values of one item usually stand together
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!chainOfPrevious || values[i].ItemCode != values[i - 1].ItemCode)
            chainOfPrevious = &chains[values[i].ItemCode];
        Chain &chain = *chainOfPrevious;
        (chain.first == None ? chain.first : next[chain.last]) = i;
        chain.last = i;
        ++chain.count;
    }
    for (const TItemData &item : items) {
        if (const auto found = chains.find(item.Code); found != chains.end())
            ++found->second.itemsLeft;
    }
    for (TItemData &item : items) {
        item.Values.clear();
        const auto found = chains.find(item.Code);
        if (found == chains.end())
            continue;
        Chain &chain = found->second;
        const bool last = --chain.itemsLeft == 0;
        item.Values.reserve(chain.count);
        for (std::size_t i = chain.first; i != None; i = next[i])
            item.Values.push_back(last ? std::move(values[i]) : values[i]);
    }
}

ItemFileTexts FormatItemFiles(const ItemList &items)
{
    ItemFileTexts texts;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const TItemData &item = items[i];
        const std::string code = TwoDigitCode(i + 1);
        appendLine(texts.items, { code, item.Name, item.FileName, item.Section, item.Key });
        for (const TValueData &value : item.Values)
            appendLine(texts.values, { code, value.ValueCode, value.Name, value.Value });
    }
    return texts;
}

void WriteItemFiles(const std::string &directory, const ItemList &items)
{
    const ItemFileTexts texts = FormatItemFiles(items);
    const std::array files { FileText { directory + std::string(ItemFileName), texts.items },
        FileText { directory + std::string(ValueFileName), texts.values } };
    const ReplaceOutcome outcome = replaceFiles(files);
    if (outcome.succeeded())
        return;
    if (outcome.failedStep == ReplaceStep::Write)
        throw Error("ストリームへの書き込みエラー");
    throw Error(
        formatMessage("ファイル %s を作成できません", systemToUtf8(files[outcome.fileIndex].path)));
}

} // namespace velmora
