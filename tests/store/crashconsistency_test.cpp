// Kills a process at random moments while it saves the item files or writes an INI key. After
// every kill each file holds its old or its new bytes whole; the next start (the load's repair
// of a cut-off save, or the next write of the INI file) leaves the item files a matching pair and
// nothing of ours beside the files. VELMORA_CRASH_KILLS sets the kills per writer: 150 by
// default, 1,000 or more for a run by hand.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <random>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "inivalue.h"
#include "itemfiles.h"
#include "scratchdirectory.h"

namespace velmora {
namespace {

using test::ScratchDirectory;
using Clock = std::chrono::steady_clock;

int killsPerWriter()
{
    const char *const kills = std::getenv("VELMORA_CRASH_KILLS");
    return kills ? std::max(1, std::atoi(kills)) : 150;
}

// Runs save(second) with second alternating in a child process until a random moment, then
// kills it with SIGKILL. True when the child was killed while still saving.
bool killWhileSaving(const std::function<void(bool)> &save, Clock::duration after)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return false;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ready[0]);
        (void)!::write(ready[1], "r", 1);
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
        try {
            for (bool second = true; Clock::now() < deadline; second = !second)
                save(second);
        } catch (...) {
            ::_exit(2);
        }
        ::_exit(0);
    }
    ::close(ready[1]);
    char byte;
    (void)!::read(ready[0], &byte, 1);
    ::close(ready[0]);
    std::this_thread::sleep_for(after);
    ::kill(child, SIGKILL);
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFSIGNALED(status)
        && WTERMSIG(status) == SIGKILL;
}

struct Writer
{
    const char *name;
    std::vector<std::string> files;
    // Writes the first or the second state of the files.
    std::function<void(const ScratchDirectory &, bool second)> save;
    // The bytes of each file in that state.
    std::function<std::vector<std::string>(bool second)> contents;
    // What the next start does after a kill; the files are each in one of the two states.
    std::function<void(const ScratchDirectory &, const std::vector<int> &states)> nextStart;
};

ItemList items(std::size_t count, const std::string &text)
{
    ItemList list(count);
    for (std::size_t i = 0; i < count; ++i) {
        list[i] = { "", text + std::to_string(i), "/tmp/" + text + ".ini", "S", "K", {} };
        for (int v = 0; v < 3; ++v)
            list[i].Values.push_back({ "", TwoDigitCode(std::size_t(v) + 1), text, text + text });
    }
    return list;
}

const ItemList FirstItems = items(150, "first");
const ItemList SecondItems = items(60, "the second state");

std::string iniFile(const std::string &value)
{
    std::string text = "[S]\r\nK=" + value + "\r\n[Filler]\r\n";
    for (int i = 0; i < 2000; ++i)
        text += "key" + std::to_string(i) + "=some value of the filler section\r\n";
    return text;
}

// The item files as the next start loads them, after its repair.
ItemList loadPair(const ScratchDirectory &dir)
{
    const ItemFilesReadLock pair(dir.path());
    ItemList loaded = LoadItemFile(dir.file("ITEM.CSV"));
    LinkValues(loaded, LoadValueFile(dir.file("VALUE.CSV")));
    return loaded;
}

// True when every loaded item has the values that one save gave it.
bool isOneSave(const ItemList &loaded)
{
    const ItemList &saved = loaded.size() == FirstItems.size() ? FirstItems : SecondItems;
    return loaded.size() == saved.size() && std::ranges::all_of(loaded, [&](const TItemData &item) {
        return item.Values.size() == 3 && item.Values[0].Name == saved[0].Values[0].Name
            && item.Name.starts_with(saved[0].Values[0].Name);
    });
}

const Writer Writers[] = {
    { "item files", { "ITEM.CSV", "VALUE.CSV" },
        [](const ScratchDirectory &dir, bool second) {
            WriteItemFiles(dir.path(), second ? SecondItems : FirstItems);
        },
        [](bool second) {
            const ItemFileTexts texts = FormatItemFiles(second ? SecondItems : FirstItems);
            return std::vector { texts.items, texts.values };
        },
        [](const ScratchDirectory &dir, const std::vector<int> &) { (void)loadPair(dir); } },
    { "INI key", { "t.ini" },
        [](const ScratchDirectory &dir, bool second) {
            WriteIniValue(dir.file("t.ini"), "S", "K", second ? "second" : "first");
        },
        [](bool second) { return std::vector { iniFile(second ? "second" : "first") }; },
        // The next write that changes the file removes what killed writes left beside it.
        [](const ScratchDirectory &dir, const std::vector<int> &states) {
            WriteIniValue(dir.file("t.ini"), "S", "K", states[0] == 1 ? "first" : "second");
        } },
};

// Entries beside the files: what killed writers left.
std::size_t countLeftOvers(const ScratchDirectory &dir, const std::vector<std::string> &files)
{
    std::size_t count = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir.path()))
        count += std::find(files.begin(), files.end(), entry.path().filename()) == files.end();
    return count;
}

struct Counts
{
    int torn = 0;
    int missing = 0;
    int mixedBeforeRepair = 0; // item files of two saves, as the kill left them
    int leftOversBeforeNextStart = 0; // kills that left files of ours behind
    int mismatchedAfterRepair = 0;
    int failedNextStarts = 0;
    std::size_t leftOversAfterNextStart = 0;
};

TEST(CrashConsistencyTest, KilledWriterLeavesOneWholeSaveAndNothingAfterTheNextStart)
{
    const unsigned seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const int kills = killsPerWriter();

    for (const Writer &writer : Writers) {
        SCOPED_TRACE(writer.name);
        ScratchDirectory dir;
        const std::vector<std::string> states[] = { writer.contents(false), writer.contents(true) };
        for (std::size_t i = 0; i < writer.files.size(); ++i)
            dir.write(writer.files[i], states[0][i]);

        // Kill within about one save's time after the writer starts, so that the moments fall
        // on every step of a save: writing, flushing, renaming.
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < 3; ++i)
            writer.save(dir, i % 2 == 0);
        const auto saveTime = (Clock::now() - start) / 3;
        std::uniform_int_distribution<Clock::rep> moment(0, (saveTime * 3 / 2).count());

        Counts counts;
        for (int kill = 0; kill < kills; ++kill) {
            ASSERT_TRUE(killWhileSaving(
                [&](bool second) { writer.save(dir, second); }, Clock::duration(moment(random))))
                << "kill " << kill;
            std::vector<int> stateOf;
            for (std::size_t i = 0; i < writer.files.size(); ++i) {
                if (!dir.exists(writer.files[i])) {
                    ++counts.missing;
                    stateOf.push_back(-1);
                    continue;
                }
                const std::string bytes = dir.read(writer.files[i]);
                counts.torn += bytes != states[0][i] && bytes != states[1][i];
                stateOf.push_back(bytes == states[1][i] ? 1 : bytes == states[0][i] ? 0 : -1);
            }
            ASSERT_EQ(std::count(stateOf.begin(), stateOf.end(), -1), 0)
                << "a file is torn or missing after kill " << kill;
            counts.mixedBeforeRepair
                += std::adjacent_find(stateOf.begin(), stateOf.end(), std::not_equal_to<>())
                != stateOf.end();
            counts.leftOversBeforeNextStart += countLeftOvers(dir, writer.files) > 0;
            try {
                writer.nextStart(dir, stateOf);
            } catch (const std::exception &) {
                ++counts.failedNextStarts;
            }
            if (writer.files.size() == 2)
                counts.mismatchedAfterRepair += !isOneSave(loadPair(dir));
            counts.leftOversAfterNextStart += countLeftOvers(dir, writer.files);
        }
        std::cout << writer.name << ": " << kills << " kills; " << counts.torn << " torn, "
                  << counts.missing << " missing";
        if (writer.files.size() == 2)
            std::cout << ", " << counts.mixedBeforeRepair << " left files of two saves, "
                      << counts.mismatchedAfterRepair << " mismatched after the repair";
        std::cout << "; " << counts.leftOversBeforeNextStart << " kills left files of ours, "
                  << counts.leftOversAfterNextStart << " files of ours left after the next start\n";
        EXPECT_EQ(counts.torn + counts.missing, 0);
        EXPECT_EQ(counts.failedNextStarts, 0);
        EXPECT_EQ(counts.mismatchedAfterRepair, 0);
        EXPECT_EQ(counts.leftOversAfterNextStart, 0u);
    }
}

// Two processes save different items into one folder while a third loads them: every load
// sees the items and values of one save.
TEST(CrashConsistencyTest, ConcurrentSavesNeverShowALoadAMismatchedPair)
{
    ScratchDirectory dir;
    WriteItemFiles(dir.path(), FirstItems);
    std::vector<pid_t> savers;
    for (const ItemList *list : { &FirstItems, &SecondItems }) {
        const pid_t saver = ::fork();
        if (saver == 0) {
            try {
                // A moment between saves, as a person leaves: the loads must not starve.
                for (int i = 0; i < 150; ++i) {
                    WriteItemFiles(dir.path(), *list);
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        }
        savers.push_back(saver);
    }
    int loads = 0;
    int mismatched = 0;
    int failedSavers = 0;
    const auto stillSaving = [&] {
        for (pid_t &saver : savers) {
            int status = 0;
            if (saver > 0 && ::waitpid(saver, &status, WNOHANG) == saver) {
                failedSavers += !WIFEXITED(status) || WEXITSTATUS(status) != 0;
                saver = 0;
            }
        }
        return std::ranges::any_of(savers, [](pid_t saver) { return saver > 0; });
    };
    while (stillSaving()) {
        mismatched += !isOneSave(loadPair(dir));
        ++loads;
    }
    EXPECT_EQ(failedSavers, 0);
    EXPECT_GT(loads, 0);
    EXPECT_EQ(mismatched, 0) << "of " << loads << " loads";
    EXPECT_EQ(dir.listing(), "ITEM.CSV VALUE.CSV");
}

} // namespace
} // namespace velmora
