#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "atomicfile.h"
#include "systemhandle.h"

// The operating system's steps of replacing files; replaceFiles puts them together the same way
// on every system.
namespace velmora::replacement {

// Which file a directory entry stands for.
struct FileIdentity
{
    std::uint64_t volume = 0;
    std::uint64_t file = 0;

    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

// One file being replaced, and the directory where all its names live.
struct Replacement
{
    std::string path; // as the caller named it
    std::string directory; // its directory as named, ending in its separator (see foundDirectory)
    std::string name; // the file's name there
    std::optional<FileIdentity> original; // what the name stood for; nothing when it was free
    SystemHandle directoryHandle;
    mutable std::size_t longestName = 0; // nameLimit's answer, once asked
    SystemHandle originalHandle; // the original file, open for reading
    std::string temporaryName; // the new bytes' file beside it, once created
    SystemHandle temporaryHandle; // held until the rename, so that no sweep removes the file
    std::string oldName; // a second name of the original while later files are replaced
    bool oldKept = false;
    // The path is a link to a missing file, which createBehindLink makes once the replacement
    // goes ahead; directory and name are the link's until then.
    bool missingBehindLink = false;
    bool createdBehindLink = false; // the original is the empty file that createBehindLink made
};

// Why a file is opened: to replace it, or only to find where it lies.
enum class Opening { ToReplace, ToFind };

// Opens the file that path names the way the system opens any path, following only the links
// the system follows, and the directory where it found it. A missing file is fine: original
// stays empty; so is, to replace it, a link to a missing file (missingBehindLink), which is left
// as it is. Anything but a regular file is refused with Create, and so is, to replace it, a file
// its user may not write.
ReplaceStep openTarget(
    const std::string &path, Replacement &file, int &error, Opening why = Opening::ToReplace);

// Has the system create the missing file that the link file.path names, as for any program that
// writes there, and opens it as openTarget does. Called only once a replacement goes ahead, so
// that a refused one creates nothing.
ReplaceStep createBehindLink(Replacement &file, int &error);

// Removes the files that createBehindLink made, where each is still the empty file it made: for
// a replacement that failed.
void removeCreatedBehindLinks(std::span<Replacement> files);

// Opens a directory for the name steps below; false when it cannot be opened.
bool openDirectory(const std::string &directory, Replacement &file);

// The file's directory as the system found it, ending in its separator, so that a later start
// finds it from anywhere; the directory as named when the system cannot tell.
std::string foundDirectory(const Replacement &file);

// The directory part of path with its separator (empty for a bare name), and the name after it.
std::pair<std::string, std::string> splitPath(const std::string &path);

// What the entry called name in the file's directory stands for, without following a link there;
// nothing when no entry has that name.
std::optional<FileIdentity> identityWithin(const Replacement &file, const std::string &name);

// The longest name the file's directory takes.
std::size_t nameLimit(const Replacement &file);

enum class Created { Yes, NameTaken, Failed };

// Creates the temporary file called name beside the file, when no entry has that name, and holds
// it in temporaryHandle.
Created createTemporary(Replacement &file, const std::string &name, int &error);

// Fills the temporary file with bytes, gives it the original's access (or a new file's) and
// flushes it to disk.
ReplaceStep fillTemporary(Replacement &file, const ProduceBytes &bytes, int &error);

// Waits until no other program forbids renaming over the file; false, with error set, when one
// keeps doing so.
bool waitUntilReplaceable(const Replacement &file, int &error);

// Renames from to to inside the file's directory in one step, replacing what to names.
bool renameWithin(
    const Replacement &file, const std::string &from, const std::string &to, int &error);

// Gives the file called existing a second name; false where the file system cannot.
bool linkWithin(const Replacement &file, const std::string &existing, const std::string &newName);

// Removes the entry called name; true when it is gone.
bool removeWithin(const Replacement &file, const std::string &name);

// The names of the entries of the file's directory.
std::vector<std::string> namesWithin(const Replacement &file);

// Removes the regular file called name unless a live writer holds it.
void removeUnlessHeld(const Replacement &file, const std::string &name);

// Makes the finished renames in the file's directory last through a crash.
void syncDirectory(const Replacement &file);

// syncDirectory for every file, once for each directory they share.
void syncDirectories(std::span<const Replacement> files);

// The steps put together, for files that openTarget opened: what replaceFiles does after opening
// them. The INI engine opens and locks its file itself.
ReplaceOutcome replaceOpened(std::span<Replacement> files, std::span<const ProduceBytes> bytes,
    Leftovers leftovers = Leftovers::Remove);

// Gives the files replaced so far their old files back; false when one of them cannot be.
bool putBack(std::span<Replacement> replaced);

} // namespace velmora::replacement
