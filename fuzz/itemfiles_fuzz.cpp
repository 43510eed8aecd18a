// Any bytes loaded as ITEM.CSV and as VALUE.CSV: a load gives records or the index message,
// never a crash or a hang, and the records the general comma-text rule gives line by line;
// loaded records written as a save writes them load back the same, and linking gives every
// item exactly the values of its code, whether the values are loaded first or as they are linked.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "commatext.h"
#include "error.h"
#include "itemfiles.h"

namespace {

using namespace velmora;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// A file in memory that the loaders open by name.
class MemoryFile
{
public:
    MemoryFile()
        : m_fd(::memfd_create("velmora-fuzz", MFD_CLOEXEC))
        , m_path("/proc/self/fd/" + std::to_string(m_fd))
    {
        require(m_fd >= 0);
    }

    const std::string &path(std::string_view bytes) const
    {
        require(::ftruncate(m_fd, 0) == 0);
        require(::pwrite(m_fd, bytes.data(), bytes.size(), 0) == ssize_t(bytes.size()));
        return m_path;
    }

private:
    int m_fd;
    std::string m_path;
};

const MemoryFile &memoryFile()
{
    static const MemoryFile file;
    return file;
}

// The records, or nothing when the load stopped at a line with too few fields.
template<typename Load>
auto loaded(Load load, std::string_view bytes) -> std::optional<decltype(load(std::string()))>
{
    try {
        return load(memoryFile().path(bytes));
    } catch (const Error &error) {
        require(std::string_view(error.what())
                    .starts_with("リストのインデックスが範囲を超えています ("));
        return std::nullopt;
    }
}

// The leading fields of every line by the general rule, which the loaders' direct reading of
// lines as a save writes them must agree with: the text cut into lines, each split by
// SplitCommaText; nothing when a line has too few fields.
std::optional<std::vector<std::vector<std::string>>> splitLines(
    std::string_view text, std::size_t count)
{
    text = text.substr(0, text.find('\0'));
    std::vector<std::vector<std::string>> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find_first_of("\r\n", at), text.size());
        std::vector<std::string> fields = SplitCommaText(text.substr(at, end - at));
        if (fields.size() < count)
            return std::nullopt;
        fields.resize(count);
        lines.push_back(std::move(fields));
        at = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
    }
    return lines;
}

void checkGeneralRule(std::string_view bytes, const std::optional<ItemList> &items,
    const std::optional<std::vector<TValueData>> &values)
{
    const auto itemLines = splitLines(bytes, 5);
    require(itemLines.has_value() == items.has_value());
    for (std::size_t i = 0; itemLines && i < itemLines->size(); ++i) {
        const std::vector<std::string> &line = (*itemLines)[i];
        const TItemData &item = (*items)[i];
        require(
            line == std::vector { item.Code, item.Name, item.FileName, item.Section, item.Key });
    }
    const auto valueLines = splitLines(bytes, 4);
    require(valueLines.has_value() == values.has_value());
    for (std::size_t i = 0; valueLines && i < valueLines->size(); ++i) {
        const TValueData &value = (*values)[i];
        require((*valueLines)[i]
            == std::vector { value.ItemCode, value.ValueCode, value.Name, value.Value });
    }
}

void checkItemsRoundTrip(const ItemList &items)
{
    const ItemList again = LoadItemFile(memoryFile().path(FormatItemFiles(items).items));
    require(again.size() == items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        require(again[i].Code == TwoDigitCode(i + 1));
        require(again[i].Name == items[i].Name && again[i].FileName == items[i].FileName
            && again[i].Section == items[i].Section && again[i].Key == items[i].Key);
    }
}

void checkValuesRoundTrip(const std::vector<TValueData> &values)
{
    ItemList owner(1);
    owner[0].Values = values;
    const std::vector<TValueData> again
        = LoadValueFile(memoryFile().path(FormatItemFiles(owner).values));
    require(again.size() == values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        require(again[i].ItemCode == "01" && again[i].ValueCode == values[i].ValueCode
            && again[i].Name == values[i].Name && again[i].Value == values[i].Value);
    }
}

void checkLinks(ItemList items, const std::vector<TValueData> &values)
{
    LinkValues(items, values);
    for (const TItemData &item : items) {
        std::size_t next = 0;
        for (const TValueData &value : values) {
            if (value.ItemCode != item.Code)
                continue;
            require(next < item.Values.size() && item.Values[next].Name == value.Name
                && item.Values[next].Value == value.Value);
            ++next;
        }
        require(next == item.Values.size());
    }
}

// Loading and linking at once gives every item what loading and then linking gives; a load that
// stops leaves every item without values.
void checkLoadAndLink(
    ItemList items, std::string_view bytes, const std::optional<std::vector<TValueData>> &values)
{
    ItemList expected = items;
    if (values)
        LinkValues(expected, *values);
    else
        for (TItemData &item : expected)
            item.Values.clear();
    try {
        LoadAndLinkValues(items, memoryFile().path(bytes));
        require(values.has_value());
    } catch (const Error &) {
        require(!values.has_value());
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::vector<TValueData> &got = items[i].Values;
        const std::vector<TValueData> &want = expected[i].Values;
        require(got.size() == want.size());
        for (std::size_t j = 0; j < got.size(); ++j)
            require(got[j].ItemCode == want[j].ItemCode && got[j].ValueCode == want[j].ValueCode
                && got[j].Name == want[j].Name && got[j].Value == want[j].Value);
    }
}

// Items for linking where the bytes give none: two codes that short inputs hold, each with a
// value that a link must replace.
ItemList standInItems()
{
    ItemList items(2);
    items[0].Code = "01";
    items[1].Code = "a";
    for (TItemData &item : items)
        item.Values.push_back({ "stale", "", "", "" });
    return items;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const std::optional<ItemList> items = loaded(LoadItemFile, bytes);
    const std::optional<std::vector<TValueData>> values = loaded(LoadValueFile, bytes);
    require(!items || values); // a line with five fields has four
    checkGeneralRule(bytes, items, values);
    if (items)
        checkItemsRoundTrip(*items);
    if (values)
        checkValuesRoundTrip(*values);
    if (items && values)
        checkLinks(*items, *values);
    checkLoadAndLink(items ? *items : standInItems(), bytes, values);
    return 0;
}
