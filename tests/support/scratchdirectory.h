#pragma once

#include <string>
#include <string_view>

namespace velmora::test {

// A fresh temporary directory with an ASCII path, removed with everything in it when the object
// goes.
class ScratchDirectory
{
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory &) = delete;
    ScratchDirectory &operator=(const ScratchDirectory &) = delete;

    // The directory's path, ending in the platform's path separator.
    const std::string &path() const { return m_path; }
    // The path of name inside the directory.
    std::string file(std::string_view name) const { return m_path + std::string(name); }

    void write(std::string_view name, std::string_view bytes) const;
    std::string read(std::string_view name) const;
    bool exists(std::string_view name) const;
    // Names of all entries, sorted, hidden ones included.
    std::string listing() const;

private:
    std::string m_path;
};

} // namespace velmora::test
