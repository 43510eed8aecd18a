#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace velmora {

// One file to be given new contents.
struct FileText
{
    std::string path;
    std::string_view bytes;
};

// Where a replacement stopped; None when every file was replaced.
enum class ReplaceStep { None, Create, Write, Replace };

struct ReplaceOutcome
{
    ReplaceStep failedStep = ReplaceStep::None;
    std::size_t fileIndex = 0; // the file that failed
    int systemError = 0;

    bool succeeded() const { return failedStep == ReplaceStep::None; }
};

// Gives each file its new contents without ever leaving a torn file: every text goes to a
// temporary file in its file's directory and is flushed to disk; only when all of them are
// complete are the files replaced, in order, by atomic renames. When anything fails, every file
// keeps its old bytes (a file replaced before the failing one gets them back, as long as the
// file system can give a file a second name) and the temporary files are removed. A replaced file
// keeps its permission bits; a symbolic link stays a link and the file it names is replaced.
// A file whose permission bits let nobody write it is read-only, also for a privileged process;
// a file its user may not write is not replaced either.
ReplaceOutcome replaceFiles(std::span<const FileText> files);

// The path with every symbolic link of its last component followed, so that replacing the
// result replaces the file the user's path names.
std::string resolveFileLinks(const std::string &path);

} // namespace velmora
