// Reading and writing one key near the end of a 1 MiB INI file, each against the least that the
// same work needs: reading the bytes and finding the key's text, and replacing the file with a
// copy that is flushed to disk just as durably.

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "inivalue.h"

namespace velmora {
namespace {

constexpr std::string_view TargetKey = "Resolution";
constexpr std::string_view TargetValues[] = { "1920x1080", "1280x1024" };

// Sections of 20 keys each, about 1 MiB in all; the key sits in the middle of the last section,
// whose name goes to targetSection.
std::string sampleIni(std::string &targetSection)
{
    std::string text = "; settings\r\n";
    for (int section = 0; text.size() < (1 << 20) - 600; ++section) {
        targetSection = "Display " + std::to_string(section);
        text += "[" + targetSection + "]\r\n";
        for (int key = 0; key < 20; ++key) {
            if (key == 10)
                text += std::string(TargetKey) + std::to_string(section) + "=";
            else
                text += "key" + std::to_string(key) + " = ";
            text += std::string(TargetValues[0]) + "\r\n";
        }
    }
    return text;
}

// A directory with the sample file, removed at exit.
struct SampleFile
{
    std::string directory;
    std::string path;
    std::string section;
    std::string key;
    std::size_t size = 0;

    SampleFile()
    {
        directory = (std::filesystem::temp_directory_path()
            / ("velmora-ini-bench-" + std::to_string(::getpid())))
                        .string();
        std::filesystem::create_directories(directory);
        path = directory + "/sample.ini";
        const std::string text = sampleIni(section);
        key = std::string(TargetKey) + section.substr(section.find(' ') + 1);
        size = text.size();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, text.data(), text.size()) != ssize_t(text.size()))
            throw std::runtime_error("cannot write the sample file");
        ::close(fd);
    }
    ~SampleFile() { std::filesystem::remove_all(directory); }
};

const SampleFile &sampleFile()
{
    static const SampleFile file;
    return file;
}

// The file's bytes, read as directly as the system allows.
std::string_view readDirectly(const std::string &path, std::unique_ptr<char[]> &buffer)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info = {};
    ::fstat(fd, &info);
    buffer = std::make_unique_for_overwrite<char[]>(std::size_t(info.st_size));
    const ssize_t count = ::read(fd, buffer.get(), std::size_t(info.st_size));
    ::close(fd);
    return { buffer.get(), std::size_t(count) };
}

void IniRead_FloorReadAndFindKeyText(benchmark::State &state)
{
    const SampleFile &file = sampleFile();
    const std::string needle = file.key + "=";
    for (auto _ : state) {
        std::unique_ptr<char[]> buffer;
        const std::string_view text = readDirectly(file.path, buffer);
        const char *at = text.data();
        const char *end = at + text.size();
        const char *found = nullptr;
        while (!found && (at = static_cast<const char *>(std::memchr(at, needle[0], end - at)))) {
            if (std::size_t(end - at) >= needle.size()
                && std::memcmp(at, needle.data(), needle.size()) == 0)
                found = at;
            ++at;
        }
        if (!found)
            state.SkipWithError("key not found");
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * file.size));
}
BENCHMARK(IniRead_FloorReadAndFindKeyText)->Name("IniRead/FloorReadAndFindKeyText");

void IniRead_ReadIniValue(benchmark::State &state)
{
    const SampleFile &file = sampleFile();
    for (auto _ : state) {
        const std::string value = ReadIniValue(file.path, file.section, file.key);
        if (value != TargetValues[0])
            state.SkipWithError("wrong value");
        benchmark::DoNotOptimize(value.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * file.size));
}
BENCHMARK(IniRead_ReadIniValue)->Name("IniRead/ReadIniValue");

// Replacing the file the way a write must: a temporary file flushed to disk, renamed over the
// original, and the directory flushed so that the rename itself is durable.
void IniWrite_FloorReadWriteSyncRename(benchmark::State &state)
{
    const SampleFile &file = sampleFile();
    const std::string temporary = file.directory + "/.sample.ini.floor";
    for (auto _ : state) {
        std::unique_ptr<char[]> buffer;
        const std::string_view text = readDirectly(file.path, buffer);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (::write(fd, text.data(), text.size()) != ssize_t(text.size()) || ::fsync(fd) != 0)
            state.SkipWithError("cannot write");
        ::close(fd);
        ::rename(temporary.c_str(), file.path.c_str());
        const int directory = ::open(file.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::fsync(directory);
        ::close(directory);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * file.size));
}
BENCHMARK(IniWrite_FloorReadWriteSyncRename)
    ->Name("IniWrite/FloorReadWriteSyncRename")
    ->Unit(benchmark::kMillisecond);

void IniWrite_WriteIniValue(benchmark::State &state)
{
    const SampleFile &file = sampleFile();
    std::size_t round = 0;
    for (auto _ : state) {
        // A new value every time: a value that already stands is not written at all.
        WriteIniValue(file.path, file.section, file.key, std::string(TargetValues[++round % 2]));
    }
    WriteIniValue(file.path, file.section, file.key, std::string(TargetValues[0]));
    state.SetBytesProcessed(std::int64_t(state.iterations() * file.size));
}
BENCHMARK(IniWrite_WriteIniValue)->Name("IniWrite/WriteIniValue")->Unit(benchmark::kMillisecond);

} // namespace
} // namespace velmora
