#include "scratchdirectory.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include <stdlib.h>

namespace velmora::test {

ScratchDirectory::ScratchDirectory()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "velmora-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a scratch directory");
    m_path = pattern + "/";
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
