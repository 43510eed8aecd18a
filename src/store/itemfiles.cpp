#include "itemfiles.h"

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
        const std::size_t end = text.find_first_of("\r\n", at);
        if (end == std::string_view::npos) {
            onLine(text.substr(at));
            return;
        }
        onLine(text.substr(at, end - at));
        at = end + 1;
        if (text[end] == '\r' && at < text.size() && text[at] == '\n')
            ++at;
    }
}

// Splits a line and checks that it holds at least count fields.
template<std::size_t count>
std::vector<std::string> requireFields(std::string_view line)
{
    std::vector<std::string> fields = SplitCommaText(line);
    if (fields.size() < count)
        throw Error("リストのインデックスが範囲を超えています (" + std::to_string(fields.size())
                    + ")");
    return fields;
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
    forEachLine(text, [&](std::string_view line) {
        std::vector<std::string> fields = requireFields<5>(line);
        TItemData &item = items.emplace_back();
        item.Code = std::move(fields[0]);
        item.Name = std::move(fields[1]);
        item.FileName = std::move(fields[2]);
        item.Section = std::move(fields[3]);
        item.Key = std::move(fields[4]);
    });
    return items;
}

std::vector<TValueData> LoadValueFile(const std::string &path)
{
    const std::string text = readItemFile(path);
    std::vector<TValueData> values;
    forEachLine(text, [&](std::string_view line) {
        std::vector<std::string> fields = requireFields<4>(line);
        TValueData &value = values.emplace_back();
        value.ItemCode = std::move(fields[0]);
        value.ValueCode = std::move(fields[1]);
        value.Name = std::move(fields[2]);
        value.Value = std::move(fields[3]);
    });
    return values;
}

void LinkValues(ItemList &items, const std::vector<TValueData> &values)
{
    std::unordered_map<std::string_view, std::vector<const TValueData *>> valuesByCode;
    for (const TValueData &value : values)
        valuesByCode[value.ItemCode].push_back(&value);
    for (TItemData &item : items) {
        item.Values.clear();
        const auto found = valuesByCode.find(item.Code);
        if (found == valuesByCode.end())
            continue;
        item.Values.reserve(found->second.size());
        for (const TValueData *value : found->second)
            item.Values.push_back(*value);
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
    throw Error(formatMessage("ファイル %s を作成できません",
                              systemToUtf8(files[outcome.fileIndex].path)));
}

} // namespace velmora
