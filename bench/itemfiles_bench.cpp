// Loading, linking and saving the item files of 10,000 items with 10 values each.

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <fstream>

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

void ItemFiles_LoadAndLink(benchmark::State &state)
{
    const SampleFiles &files = sampleFiles();
    for (auto _ : state) {
        ItemList items = LoadItemFile(files.directory + "ITEM.CSV");
        LinkValues(items, LoadValueFile(files.directory + "VALUE.CSV"));
        benchmark::DoNotOptimize(items.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * files.bytes()));
}
BENCHMARK(ItemFiles_LoadAndLink)->Name("ItemFiles/LoadAndLink")->Unit(benchmark::kMillisecond);

void ItemFiles_Save(benchmark::State &state)
{
    const SampleFiles &files = sampleFiles();
    const ItemList items = sampleItems();
    for (auto _ : state)
        WriteItemFiles(files.directory, items);
    state.SetBytesProcessed(std::int64_t(state.iterations() * files.bytes()));
}
BENCHMARK(ItemFiles_Save)->Name("ItemFiles/Save")->Unit(benchmark::kMillisecond);

} // namespace
} // namespace velmora
