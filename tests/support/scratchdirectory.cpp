#include "scratchdirectory.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <vector>

namespace velmora::test {

ScratchDirectory::ScratchDirectory()
{
    namespace fs = std::filesystem;
    const fs::path parent = fs::temp_directory_path();
    // Tests hand these paths to the program as bytes of the system code page, and only ASCII
    // reads the same in every code page.
    const std::string parentName = parent.string();
    if (std::any_of(parentName.begin(), parentName.end(),
            [](char c) { return static_cast<unsigned char>(c) > 0x7F; }))
        throw std::runtime_error("the temporary directory " + parentName
            + " is not an ASCII path: point TMPDIR (TMP on Windows) at one that is");
    std::random_device seed;
    std::mt19937_64 random(seed());
    // create_directory is false when the name is taken, by another test run among others.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate
            = parent / ("velmora-test-" + std::to_string(random() % 1000000000));
        if (fs::create_directory(candidate)) {
            fs::permissions(candidate, fs::perms::owner_all);
            m_path = candidate.string() + char(fs::path::preferred_separator);
            return;
        }
    }
    throw std::runtime_error("cannot create a scratch directory");
}

ScratchDirectory::~ScratchDirectory()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

void ScratchDirectory::write(std::string_view name, std::string_view bytes) const
{
    std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + file(name));
}

std::string ScratchDirectory::read(std::string_view name) const
{
    std::ifstream in(file(name), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + file(name));
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

bool ScratchDirectory::exists(std::string_view name) const
{
    return std::filesystem::exists(file(name));
}

std::string ScratchDirectory::listing() const
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(m_path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string &name : names)
        joined += (joined.empty() ? "" : " ") + name;
    return joined;
}

} // namespace velmora::test
