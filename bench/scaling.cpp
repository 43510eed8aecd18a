// How the cost of the tray menu and the item list grows with the items: for 10, 100, 1,000 and
// 10,000 items of 10 values, over one INI file per item and over one INI file for all, the
// processor time of a menu rebuild, of a press on the icon until the menu has painted and of a
// refresh of the shown list window, the resident memory, and the first build of the menu. Each
// scenario runs in a process of its own (the program runs itself), the scenarios interleaved
// round after round; the tables show the median of the rounds with the lowest and highest, and
// how much each figure grows from one size to the next, ten times larger: x10 is linear.
// With --instructions, each scenario also runs once under callgrind, whose instruction counts
// do not swing with the load of a shared machine as times do.
// Usage: velmora_scaling [rounds] [--instructions]   (offscreen unless QT_QPA_PLATFORM is set)

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "scalingmeasure.h"

using namespace velmora::bench;

namespace {

constexpr std::array<std::size_t, 4> ItemCounts { 10, 100, 1000, 10000 };
constexpr std::array<std::pair<IniLayout, const char *>, 2> Layouts { {
    { IniLayout::FilePerItem, "one INI file per item" },
    { IniLayout::OneFile, "one INI file for all items" },
} };

int repetitionsFor(std::size_t itemCount)
{
    return itemCount >= 10000 ? 3 : 5;
}

std::string self()
{
    return "/proc/" + std::to_string(::getpid()) + "/exe";
}

std::string measureArguments(std::size_t itemCount, IniLayout layout, int repetitions)
{
    return " --measure " + std::to_string(int(layout)) + " " + std::to_string(itemCount) + " "
        + std::to_string(repetitions);
}

[[noreturn]] void failed(std::size_t itemCount)
{
    std::fprintf(stderr, "velmora_scaling: the scenario of %zu items failed\n", itemCount);
    std::exit(1);
}

// One figure per column, in the order of the table's columns.
using Row = std::vector<double>;

// Runs one scenario in a child process of this program and reads its figures back.
Row timesInChild(std::size_t itemCount, IniLayout layout)
{
    const std::string command
        = self() + measureArguments(itemCount, layout, repetitionsFor(itemCount));
    const std::unique_ptr<FILE, int (*)(FILE *)> child(popen(command.c_str(), "r"), &pclose);
    ScalingFigures f;
    if (!child
        || std::fscanf(child.get(), "%lf %lf %lf %lf %ld", &f.firstBuildMs, &f.rebuildMs,
               &f.pressMs, &f.refreshMs, &f.residentKb)
            != 5)
        failed(itemCount);
    return { f.rebuildMs, f.pressMs, f.refreshMs, f.residentKb / 1024.0, f.firstBuildMs };
}

// Runs one scenario once under callgrind; the child dumps the instructions of each measured
// action into a file of its own, which names the action.
Row instructionsInChild(std::size_t itemCount, IniLayout layout)
{
    char folder[] = "/tmp/velmora-scaling-callgrind.XXXXXX";
    if (!mkdtemp(folder))
        failed(itemCount);
    const std::string command = "valgrind --tool=callgrind --log-file=/dev/null "
                                "--callgrind-out-file="
        + std::string(folder) + "/out " + self() + measureArguments(itemCount, layout, 1)
        + " >/dev/null";
    std::map<std::string, double> counts;
    if (std::system(command.c_str()) == 0) {
        for (const auto &file : std::filesystem::directory_iterator(folder)) {
            std::ifstream dump(file.path());
            std::string line, action;
            while (std::getline(dump, line)) {
                const std::string trigger = "desc: Trigger: Client Request: ";
                if (line.rfind(trigger, 0) == 0)
                    action = line.substr(trigger.size());
                else if (line.rfind("summary: ", 0) == 0 && !action.empty())
                    counts[action] = std::stod(line.substr(9));
            }
        }
    }
    std::filesystem::remove_all(folder);
    if (counts.size() != 4)
        failed(itemCount);
    return { counts["rebuild"] / 1e6, counts["press"] / 1e6, counts["refresh"] / 1e6,
        counts["first build"] / 1e6 };
}

struct Column
{
    const char *title;
    // Memory grows by the kilobytes each added item costs; everything else by a factor.
    bool memory = false;
};

const std::vector<Column> TimeColumns { { "menu rebuild, ms" }, { "press to menu shown, ms" },
    { "list refresh, ms" }, { "resident memory, MB", true }, { "first menu build, ms" } };
const std::vector<Column> InstructionColumns { { "menu rebuild, M" }, { "press to shown, M" },
    { "list refresh, M" }, { "first menu build, M" } };

struct Spread
{
    double median, lowest, highest;
};

Spread spreadOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return { median, values.front(), values.back() };
}

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, value >= 100 ? "%.0f" : value >= 10 ? "%.1f" : "%.2f", value);
    return text;
}

void printTable(const char *title, const std::vector<Column> &columns,
    const std::map<std::size_t, std::vector<Row>> &runs)
{
    std::printf("\n%s\n%-11s", title, "items");
    for (const Column &column : columns)
        std::printf("  %-23s", column.title);
    std::printf("\n");
    std::map<std::size_t, Row> medians;
    for (const auto &[itemCount, rows] : runs) {
        std::printf("%-11zu", itemCount);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            std::vector<double> values;
            for (const Row &row : rows)
                values.push_back(row[c]);
            const Spread s = spreadOf(values);
            medians[itemCount].push_back(s.median);
            const std::string cell = rows.size() == 1
                ? number(s.median)
                : number(s.median) + " (" + number(s.lowest) + "-" + number(s.highest) + ")";
            std::printf("  %-23s", cell.c_str());
        }
        std::printf("\n");
    }
    for (auto next = std::next(medians.begin()); next != medians.end(); ++next) {
        const auto &[smaller, low] = *std::prev(next);
        const auto &[larger, high] = *next;
        const std::string step = std::to_string(smaller) + ">" + std::to_string(larger);
        std::printf("%-11s", step.c_str());
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const std::string cell = columns[c].memory
                ? "+" + number((high[c] - low[c]) * 1024 / double(larger - smaller)) + " kB/item"
                : "x" + number(high[c] / low[c]);
            std::printf("  %-23s", cell.c_str());
        }
        std::printf("\n");
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--measure") == 0) {
        const auto layout = IniLayout(std::atoi(argv[2]));
        const auto itemCount = std::size_t(std::atol(argv[3]));
        const ScalingFigures f = measureScaling(itemCount, layout, std::atoi(argv[4]));
        std::printf(
            "%f %f %f %f %ld\n", f.firstBuildMs, f.rebuildMs, f.pressMs, f.refreshMs, f.residentKb);
        return 0;
    }
    int rounds = 3;
    bool instructions = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--instructions") == 0)
            instructions = true;
        else
            rounds = std::max(1, std::atoi(argv[i]));
    }

    std::map<IniLayout, std::map<std::size_t, std::vector<Row>>> times;
    for (int round = 0; round < rounds; ++round) {
        // Every other round runs from the largest scenario down, so that a machine getting
        // busier or quieter weighs on every size alike.
        std::vector<std::size_t> order(ItemCounts.begin(), ItemCounts.end());
        if (round % 2)
            std::reverse(order.begin(), order.end());
        for (const std::size_t itemCount : order) {
            for (const auto &[layout, _] : Layouts)
                times[layout][itemCount].push_back(timesInChild(itemCount, layout));
        }
    }
    std::printf("Cost by number of items (10 values each): processor time of the program's "
                "thread, median of %d rounds (lowest-highest);\nresident memory with the menu "
                "built and opened once and the list window shown. Under each table, how each "
                "figure grows\nfrom one size to the next, ten times larger: x10 is linear.\n",
        rounds);
    for (const auto &[layout, title] : Layouts)
        printTable(title, TimeColumns, times[layout]);
    if (!instructions)
        return 0;

    if (std::system("valgrind --version >/dev/null 2>&1") != 0) {
        std::printf("\nInstructions: valgrind is not installed (tools/bench installs it).\n");
        return 0;
    }
    std::printf("\nThe same, in millions of instructions counted by callgrind, one run each:\n");
    for (const auto &[layout, title] : Layouts) {
        std::map<std::size_t, std::vector<Row>> counts;
        for (const std::size_t itemCount : ItemCounts)
            counts[itemCount].push_back(instructionsInChild(itemCount, layout));
        printTable(title, InstructionColumns, counts);
    }
    return 0;
}
