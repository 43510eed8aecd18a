#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace velmora {

// Writes the next piece of a file's new bytes; false when it could not be written.
using PutBytes = std::function<bool(std::string_view piece)>;

// Hands a file's new bytes to put, piece by piece and in order, so that bytes made on the way
// need not all be held at once; false as soon as put fails.
using ProduceBytes = std::function<bool(const PutBytes &put)>;

// The producer of bytes that are all at hand; they must outlive it.
ProduceBytes bytesAtHand(std::string_view bytes);

// One file to be given new contents.
struct FileText
{
    std::string path;
    ProduceBytes bytes;
};

// Where a replacement stopped; None when every file was replaced. Changed: another program
// replaced a file between its opening and its renaming.
enum class ReplaceStep { None, Create, Write, Replace, Changed };

struct ReplaceOutcome
{
    ReplaceStep failedStep = ReplaceStep::None;
    std::size_t fileIndex = 0; // the file that failed
    int systemError = 0;

    bool succeeded() const { return failedStep == ReplaceStep::None; }
};

// Gives each file its new contents without ever leaving a torn file: every text goes to a
// temporary file in its file's directory and is flushed to disk; only when all of them are
// complete are the files replaced, in order, by atomic renames inside the directory where each
// file was found. A path is opened the way the system opens any path, so a symbolic link is
// followed only where the system itself follows it; the link stays a link and the file it
// names is replaced. Anything but a regular file is refused before anything is written, and so is
// a file whose permission bits let nobody write it (also for a privileged process) or that its
// user may not write. A replaced file keeps its owner where this process may give it, its group
// where this process belongs to it, its permission bits, its access ACL and the extended
// attributes the file system lets us copy.
//
// When anything fails, every file keeps its old bytes and the temporary files are removed; a
// file replaced before the failing one gets its old bytes back, as long as the file system can
// give a file a second name. Where that put-back fails, or the process ends between the first
// and the last rename, a note beside the first file tells finishCutOffReplacement what to
// complete. Temporary files that killed replacements left beside a file are removed before it
// is replaced, unless a live writer holds them.
// Leftovers::AlreadyRemoved skips that removal, for a caller that has just removed them
// (finishCutOffReplacement) and keeps other replacements of these files out meanwhile.
enum class Leftovers { Remove, AlreadyRemoved };
ReplaceOutcome replaceFiles(
    std::span<const FileText> files, Leftovers leftovers = Leftovers::Remove);

// True when a replaceFiles of these paths (the same paths, in the same order) was cut off
// between its first and its last rename, so that the files may hold the bytes of different
// replacements.
bool replacementWasCutOff(std::span<const std::string> paths);

// Brings the files of a replaceFiles of these paths that was cut off to one replacement: it is
// completed where all its new files are there, else the old files are put back. Then removes the
// temporary files that no live writer holds, beside each path and anywhere in the folder of the
// first. False when the files could not be brought to one replacement; they are left as they
// are, and a later call tries again. The caller keeps other replacements of these paths out
// meanwhile (FolderLock).
bool finishCutOffReplacement(std::span<const std::string> paths);

} // namespace velmora
