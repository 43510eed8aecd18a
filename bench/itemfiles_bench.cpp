// Loading, linking and saving the item files of 10,000 items with 10 values each. Loading is set
// against reading the same bytes; saving against writing the same bytes just as durably, once
// with the bytes ready and once with the least work that makes them from the items, and against
// only reading the fields it writes.

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

#include "filebytes.h"
#include "itemfiles.h"

namespace velmora {
namespace {

constexpr std::size_t ItemCount = 10000;
constexpr std::size_t ValuesPerItem = 10;

ItemList sampleItems()
{
    ItemList items(ItemCount);
    for (std::size_t i = 0; i < ItemCount; ++i) {
        TItemData &item = items[i];
        item.Name = "画面の解像度 " + std::to_string(i);
        item.FileName = "/home/user/.config/app" + std::to_string(i % 97) + "/settings.ini";
        item.Section = "Display";
        item.Key = "Resolution" + std::to_string(i);
        for (std::size_t j = 0; j < ValuesPerItem; ++j)
            item.Values.push_back({ "", TwoDigitCode(j + 1), "値 " + std::to_string(j),
                std::to_string(640 + j * 64) + "x480" });
    }
    return items;
}

// A directory with the two item files of the sample, removed at exit.
struct SampleFiles
{
    std::string directory;

    SampleFiles()
    {
        directory = (std::filesystem::temp_directory_path()
                        / ("velmora-bench-" + std::to_string(::getpid())))
                        .string()
            + "/";
        std::filesystem::create_directories(directory);
        WriteItemFiles(directory, sampleItems());
    }
    ~SampleFiles() { std::filesystem::remove_all(directory); }

    std::size_t bytes() const
    {
        return std::filesystem::file_size(directory + "ITEM.CSV")
            + std::filesystem::file_size(directory + "VALUE.CSV");
    }
};

const SampleFiles &sampleFiles()
{
    static const SampleFiles files;
    return files;
}

// The floor: reading the same bytes and finding their line ends.
void ItemFiles_FloorReadAndFindLineEnds(benchmark::State &state)
{
    const SampleFiles &files = sampleFiles();
    for (auto _ : state) {
        std::size_t lines = 0;
        for (const char *name : { "ITEM.CSV", "VALUE.CSV" }) {
            const FileBytes text = *readFileBytes(files.directory + name);
            const char *at = text.data();
            const char *end = at + text.size();
            while (const void *found = std::memchr(at, '\n', std::size_t(end - at))) {
                at = static_cast<const char *>(found) + 1;
                ++lines;
            }
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * files.bytes()));
}
BENCHMARK(ItemFiles_FloorReadAndFindLineEnds)
    ->Name("ItemFiles/FloorReadAndFindLineEnds")
    ->Unit(benchmark::kMillisecond);

// Loading both files again over the list of the last load, as the tray does each time its menu
// opens.
void ItemFiles_LoadAndLink(benchmark::State &state)
{
    const SampleFiles &files = sampleFiles();
    ItemList items;
    for (auto _ : state) {
        LoadItemFiles(items, files.directory);
        benchmark::DoNotOptimize(items.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * files.bytes()));
}
BENCHMARK(ItemFiles_LoadAndLink)->Name("ItemFiles/LoadAndLink")->Unit(benchmark::kMillisecond);

// Loading both files into a list of its own, made and freed each time, as at start-up.
void ItemFiles_LoadAndLinkIntoNewList(benchmark::State &state)
{
    const SampleFiles &files = sampleFiles();
    for (auto _ : state) {
        ItemList items;
        LoadItemFiles(items, files.directory);
        benchmark::DoNotOptimize(items.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * files.bytes()));
}
BENCHMARK(ItemFiles_LoadAndLinkIntoNewList)
    ->Name("ItemFiles/LoadAndLinkIntoNewList")
    ->Unit(benchmark::kMillisecond);

// Replacing both files as durably as a save must, with the bytes at hand: each written to a
// temporary file and flushed to disk, both renamed over the files, and the directory flushed so
// that the renames last. False when a file cannot be written.
bool replaceBoth(const SampleFiles &files, const std::string &items, const std::string &values)
{
    const std::string names[] = { "ITEM.CSV", "VALUE.CSV" };
    const std::string *const texts[] = { &items, &values };
    for (std::size_t i = 0; i < 2; ++i) {
        const std::string temporary = files.directory + ".floor-" + names[i];
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (::write(fd, texts[i]->data(), texts[i]->size()) != ssize_t(texts[i]->size())
            || ::fsync(fd) != 0) {
            ::close(fd);
            return false;
        }
        ::close(fd);
    }
    for (const std::string &name : names)
        ::rename((files.directory + ".floor-" + name).c_str(), (files.directory + name).c_str());
    const int directory = ::open(files.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::fsync(directory);
    ::close(directory);
    return true;
}

void ItemSave_FloorWriteSyncRename(benchmark::State &state)
{
    const SampleFiles &files = sampleFiles();
    const ItemFileTexts texts = FormatItemFiles(sampleItems());
    for (auto _ : state) {
        if (!replaceBoth(files, texts.items, texts.values))
            state.SkipWithError("cannot write the floor's files");
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * files.bytes()));
}
BENCHMARK(ItemSave_FloorWriteSyncRename)
    ->Name("ItemSave/FloorWriteSyncRename")
    ->Unit(benchmark::kMillisecond);

void appendQuoted(std::string &text, std::string_view field, char after)
{
    text.push_back('"');
    text.append(field);
    text.push_back('"');
    text.push_back(after);
}

// The same, after making the bytes from the items in the plainest way: every field copied
// between quotes, none checked, none escaped (the sample has no quotes), into buffers kept from
// one round to the next.
void ItemSave_FloorFormatWriteSyncRename(benchmark::State &state)
{
    const SampleFiles &files = sampleFiles();
    const ItemList items = sampleItems();
    std::string itemText;
    std::string valueText;
    for (auto _ : state) {
        itemText.clear();
        valueText.clear();
        for (std::size_t i = 0; i < items.size(); ++i) {
            const TItemData &item = items[i];
            const std::string code = TwoDigitCode(i + 1);
            appendQuoted(itemText, code, ',');
            appendQuoted(itemText, item.Name, ',');
            appendQuoted(itemText, item.FileName, ',');
            appendQuoted(itemText, item.Section, ',');
            appendQuoted(itemText, item.Key, '\r');
            itemText.push_back('\n');
            for (const TValueData &value : item.Values) {
                appendQuoted(valueText, code, ',');
                appendQuoted(valueText, value.ValueCode, ',');
                appendQuoted(valueText, value.Name, ',');
                appendQuoted(valueText, value.Value, '\r');
                valueText.push_back('\n');
            }
        }
        if (!replaceBoth(files, itemText, valueText))
            state.SkipWithError("cannot write the floor's files");
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * files.bytes()));
}
BENCHMARK(ItemSave_FloorFormatWriteSyncRename)
    ->Name("ItemSave/FloorFormatWriteSyncRename")
    ->Unit(benchmark::kMillisecond);

// Only reading what a save must read: the length and last byte of every field it writes. No
// save can cost less; with the durable writes added, it is most of what the ready bytes skip.
void ItemSave_FloorReadEveryField(benchmark::State &state)
{
    const ItemList items = sampleItems();
    const auto look = [](const std::string &field) {
        return field.size() + (field.empty() ? 0 : static_cast<unsigned char>(field.back()));
    };
    for (auto _ : state) {
        std::size_t sum = 0;
        for (const TItemData &item : items) {
            sum += look(item.Name) + look(item.FileName) + look(item.Section) + look(item.Key);
            for (const TValueData &value : item.Values)
                sum += look(value.ValueCode) + look(value.Name) + look(value.Value);
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(ItemSave_FloorReadEveryField)
    ->Name("ItemSave/FloorReadEveryField")
    ->Unit(benchmark::kMillisecond);

void ItemSave_WriteItemFiles(benchmark::State &state)
{
    const SampleFiles &files = sampleFiles();
    const ItemList items = sampleItems();
    for (auto _ : state)
        WriteItemFiles(files.directory, items);
    state.SetBytesProcessed(std::int64_t(state.iterations() * files.bytes()));
}
BENCHMARK(ItemSave_WriteItemFiles)->Name("ItemSave/WriteItemFiles")->Unit(benchmark::kMillisecond);

} // namespace
} // namespace velmora
