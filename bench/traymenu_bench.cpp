// Rebuilding the tray menu: 1,000 items with 10 values each over 1,000 small INI files, and 100
// items over one INI file of 1 MiB, each against building the same menu with no file access.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include <QApplication>

#include <unistd.h>

#include "dialogservice.h"
#include "fileexists.h"
#include "inivalue.h"
#include "itemfiles.h"
#include "mainform.h"

namespace velmora {
namespace {

class SilentDialogs : public DialogService
{
public:
    void showError(QWidget *, const QString &) override { }
    void showHint(QWidget *, const QString &) override { }
    Answer confirm(QWidget *, const QString &, bool) override { return Answer::Cancel; }
    std::optional<QString> chooseFileToOpen(QWidget *, const QString &) override
    {
        return std::nullopt;
    }
};

QApplication &application()
{
    static int argc = 1;
    static char name[] = "velmora_bench";
    static char *argv[] = { name, nullptr };
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

void writeFile(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// A folder with the item files and INI files of one scenario, and the main form reading it.
struct Scenario
{
    std::string directory;
    SilentDialogs dialogs;
    std::unique_ptr<TForm1> form;

    Scenario(const std::string &name, std::size_t itemCount, bool oneLargeFile)
    {
        application();
        directory = (std::filesystem::temp_directory_path()
                        / ("velmora-menu-bench-" + name + "-" + std::to_string(::getpid())))
                        .string()
            + "/";
        std::filesystem::create_directories(directory);
        ItemList items(itemCount);
        std::string large = "; settings\r\n";
        for (std::size_t i = 0; i < itemCount; ++i) {
            TItemData &item = items[i];
            item.Name = "設定 " + std::to_string(i);
            item.Section = "Section" + std::to_string(i);
            item.Key = "Key";
            for (std::size_t j = 0; j < 10; ++j)
                item.Values.push_back(
                    { "", TwoDigitCode(j + 1), "値 " + std::to_string(j), std::to_string(j) });
            const std::string section = "[" + item.Section + "]\r\nOther=x\r\nKey=3\r\n";
            if (oneLargeFile) {
                item.FileName = directory + "large.ini";
                large += section;
            } else {
                item.FileName = directory + "item" + std::to_string(i) + ".ini";
                writeFile(item.FileName, "; item\r\n" + section);
            }
        }
        if (oneLargeFile) {
            // Pad in front of the items' sections so that every key sits near the end.
            std::string padding;
            for (int k = 0; padding.size() + large.size() < (1 << 20); ++k)
                padding += "[Padding" + std::to_string(k) + "]\r\nkey = some value\r\n";
            writeFile(directory + "large.ini", padding + large);
        }
        WriteItemFiles(directory, items);
        form = std::make_unique<TForm1>(dialogs, directory, QIcon());
        form->RebuildTrayMenu();
    }
    ~Scenario()
    {
        form.reset();
        std::filesystem::remove_all(directory);
    }

    // What the rebuild would find, gathered once, for the floor.
    std::vector<TForm1::ItemState> states() const
    {
        std::vector<TForm1::ItemState> result;
        for (const TItemData &item : form->itemList())
            result.push_back(
                { fileExists(item.FileName), ReadIniValue(item.FileName, item.Section, item.Key) });
        return result;
    }
};

Scenario &manyFiles()
{
    static Scenario scenario("many", 1000, false);
    return scenario;
}

Scenario &oneLargeFile()
{
    static Scenario scenario("large", 100, true);
    return scenario;
}

void floor(benchmark::State &state, Scenario &scenario)
{
    const auto states = scenario.states();
    for (auto _ : state)
        scenario.form->BuildItemEntries(states);
}

void rebuild(benchmark::State &state, Scenario &scenario)
{
    for (auto _ : state)
        scenario.form->RebuildTrayMenu();
}

BENCHMARK_CAPTURE(floor, "", manyFiles())
    ->Name("TrayMenu1000Files/FloorBuildWithoutFiles")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(rebuild, "", manyFiles())
    ->Name("TrayMenu1000Files/RebuildTrayMenu")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(floor, "", oneLargeFile())
    ->Name("TrayMenu1MiBFile/FloorBuildWithoutFiles")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(rebuild, "", oneLargeFile())
    ->Name("TrayMenu1MiBFile/RebuildTrayMenu")
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace velmora
