// Kills a process at random moments while it saves the item files or writes an INI key, and
// checks after every kill that each file holds its old or its new bytes whole, and that what a
// killed save leaves behind does not disturb the next save or load.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
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

constexpr int KillsPerWriter = 150;

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

const Writer Writers[] = {
    { "item files", { "ITEM.CSV", "VALUE.CSV" },
        [](const ScratchDirectory &dir, bool second) {
            WriteItemFiles(dir.path(), second ? SecondItems : FirstItems);
        },
        [](bool second) {
            const ItemFileTexts texts = FormatItemFiles(second ? SecondItems : FirstItems);
            return std::vector { texts.items, texts.values };
        } },
    { "INI key", { "t.ini" },
        [](const ScratchDirectory &dir, bool second) {
            WriteIniValue(dir.file("t.ini"), "S", "K", second ? "second" : "first");
        },
        [](bool second) { return std::vector { iniFile(second ? "second" : "first") }; } },
};

// A temporary file that a save killed before its rename leaves beside the file.
bool isLeftOverTemporary(const std::string &entry, const std::vector<std::string> &files)
{
    for (const std::string &file : files) {
        if (entry.starts_with("." + file + ".velmora-"))
            return true;
    }
    return false;
}

std::size_t countLeftOvers(const ScratchDirectory &dir, const std::vector<std::string> &files)
{
    std::size_t count = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        if (isLeftOverTemporary(name, files))
            ++count;
        else
            EXPECT_NE(std::find(files.begin(), files.end(), name), files.end()) << name;
    }
    return count;
}

// A save after the kills succeeds beside whatever they left, and its files load.
void expectLaterSaveUnaffected(const Writer &writer, const ScratchDirectory &dir, bool second)
{
    const std::size_t leftOvers = countLeftOvers(dir, writer.files);
    ASSERT_NO_THROW(writer.save(dir, second));
    const std::vector<std::string> expected = writer.contents(second);
    for (std::size_t i = 0; i < writer.files.size(); ++i)
        EXPECT_EQ(dir.read(writer.files[i]), expected[i]) << writer.files[i];
    EXPECT_EQ(countLeftOvers(dir, writer.files), leftOvers) << "a save touched a left-over";
    if (writer.files.size() == 2) {
        ItemList loaded = LoadItemFile(dir.file("ITEM.CSV"));
        LinkValues(loaded, LoadValueFile(dir.file("VALUE.CSV")));
        EXPECT_EQ(loaded.size(), (second ? SecondItems : FirstItems).size());
    } else {
        EXPECT_EQ(ReadIniValue(dir.file("t.ini"), "S", "K"), second ? "second" : "first");
    }
}

TEST(CrashConsistencyTest, KilledWriterLeavesEveryFileOldOrNewWhole)
{
    const unsigned seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);

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

        int mixed = 0;
        std::size_t leftOvers = 0;
        for (int kill = 0; kill < KillsPerWriter; ++kill) {
            ASSERT_TRUE(killWhileSaving(
                [&](bool second) { writer.save(dir, second); }, Clock::duration(moment(random))))
                << "kill " << kill;
            std::vector<int> stateOf;
            for (std::size_t i = 0; i < writer.files.size(); ++i) {
                ASSERT_TRUE(dir.exists(writer.files[i])) << writer.files[i] << ", kill " << kill;
                const std::string bytes = dir.read(writer.files[i]);
                ASSERT_TRUE(bytes == states[0][i] || bytes == states[1][i])
                    << writer.files[i] << " torn at kill " << kill << ": " << bytes.size()
                    << " bytes";
                stateOf.push_back(bytes == states[1][i]);
            }
            mixed += std::adjacent_find(stateOf.begin(), stateOf.end(), std::not_equal_to<>())
                != stateOf.end();
            leftOvers = countLeftOvers(dir, writer.files);
            if (kill % 10 == 9)
                expectLaterSaveUnaffected(writer, dir, kill % 20 == 9);
        }
        expectLaterSaveUnaffected(writer, dir, false);
        std::cout << writer.name << ": " << KillsPerWriter << " kills survived, " << leftOvers
                  << " temporary files left behind";
        if (writer.files.size() > 1)
            std::cout << ", " << mixed << " kills between the renames left files of two saves";
        std::cout << '\n';
    }
}

} // namespace
} // namespace velmora
