#include "replacementjournal.h"

#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "filebytes.h"
#include "temporarynames.h"

namespace velmora::replacement {

namespace {

// The note holds, per file, its name in its folder, its temporary file's name and the second
// name of its old file (empty when it kept none): fields that each end in a NUL, which no name
// holds. It names no folder: each file's folder is found again from the caller's path, so a
// folder may be moved, and no note can send the repair into any other folder.
constexpr std::size_t FieldsPerFile = 3;
// Notes of earlier versions held two more fields per file, its folder first and whether it
// existed last; both are ignored.
constexpr std::size_t EarlierFieldsPerFile = 5;

void appendField(std::string &text, std::string_view field)
{
    text.append(field).push_back('\0');
}

// The note beside the first file of a replacement: its folder, opened, and its name there.
struct Journal
{
    Replacement folder;
    std::string name;

    std::string path() const { return folder.directory + name; }
};

std::optional<Journal> journalBeside(const std::string &firstPath)
{
    const auto [directory, name] = splitPath(firstPath);
    Journal journal;
    if (!openDirectory(directory, journal.folder))
        return std::nullopt;
    journal.name = journalNameFor(name, nameLimit(journal.folder));
    return journal;
}

std::optional<std::vector<std::string>> fieldsOf(std::string_view text)
{
    std::vector<std::string> fields;
    while (!text.empty()) {
        const std::size_t end = text.find('\0');
        if (end == std::string_view::npos)
            return std::nullopt;
        fields.emplace_back(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    return fields;
}

// The files of paths as a note in text describes them, each opened where its path leads now;
// nothing when the text is no note of ours for these paths, when it names anything but each
// file's own name and names of our temporary files beside it, or when a file's folder cannot
// be opened.
std::optional<std::vector<Replacement>> filesOfJournal(
    std::string_view text, std::span<const std::string> paths)
{
    const std::optional<std::vector<std::string>> fields = fieldsOf(text);
    if (!fields)
        return std::nullopt;
    std::size_t perFile = 0;
    for (const std::size_t layout : { FieldsPerFile, EarlierFieldsPerFile }) {
        if (fields->size() == layout * paths.size())
            perFile = layout;
    }
    if (perFile == 0)
        return std::nullopt;
    const std::size_t first = perFile == EarlierFieldsPerFile ? 1 : 0;
    std::vector<Replacement> files(paths.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string *field = &(*fields)[i * perFile + first];
        Replacement &file = files[i];
        int error = 0;
        if (openTarget(paths[i], file, error, Opening::ToFind) != ReplaceStep::None
            || field[0] != file.name || !mayBeTemporaryNameOf(field[1], file.name)
            || (!field[2].empty() && !mayBeTemporaryNameOf(field[2], file.name)))
            return std::nullopt;
        file.temporaryName = field[1];
        file.oldName = field[2];
        file.oldKept = !file.oldName.empty();
        // A file kept its old file under a second name when it had one, but for the last file,
        // which never does: it counts as one that had, so that no undo removes it. (An undo
        // never meets the last file in place: it is renamed last.)
        file.original.reset();
        if (file.oldKept || i + 1 == files.size())
            file.original = FileIdentity {};
    }
    return files;
}

// Moves every new file that still waits into place; where one cannot be, puts the old files back.
bool completeOrUndo(std::span<Replacement> files)
{
    bool complete = true;
    for (const Replacement &file : files) {
        int error = 0;
        if (identityWithin(file, file.temporaryName)
            && !renameWithin(file, file.temporaryName, file.name, error)) {
            complete = false;
            break;
        }
    }
    if (!complete) {
        if (!putBack(files))
            return false;
        for (const Replacement &file : files)
            removeWithin(file, file.temporaryName);
    }
    for (const Replacement &file : files) {
        if (!file.oldName.empty())
            removeWithin(file, file.oldName);
    }
    syncDirectories(files);
    return true;
}

// Brings the files of paths to one replacement as the note journal describes; false when the
// note cannot be read, is no note of ours for these files, or what it describes cannot be done.
bool repairFrom(const Journal &journal, std::span<const std::string> paths)
{
    try {
        const std::optional<FileBytes> text = readFileBytes(journal.path());
        if (!text)
            return false;
        std::optional<std::vector<Replacement>> files = filesOfJournal(text->view(), paths);
        return files && completeOrUndo(*files);
    } catch (const std::bad_alloc &) {
        return false; // no note of ours is that large
    }
}

// Removes the temporary files no live writer holds in the folder of the first path and beside
// the file each path names.
void removeStaleTemporariesOf(std::span<const std::string> paths)
{
    Replacement folder;
    std::optional<FileIdentity> swept;
    if (openDirectory(splitPath(paths.front()).first, folder)) {
        removeStaleTemporaries(folder, true);
        swept = identityWithin(folder, ".");
    }
    for (const std::string &path : paths) {
        Replacement file;
        int error = 0;
        if (openTarget(path, file, error, Opening::ToFind) == ReplaceStep::None
            && (!swept || identityWithin(file, ".") != swept))
            removeStaleTemporaries(file, false);
    }
}

} // namespace

bool writeJournal(std::span<const Replacement> files, Leftovers leftovers, int &error)
{
    const std::optional<Journal> journal = journalBeside(files.front().path);
    if (!journal) {
        error = 0; // the folder was open a moment ago
        return false;
    }
    std::string text;
    for (const Replacement &file : files) {
        appendField(text, file.name);
        appendField(text, file.temporaryName);
        appendField(text, file.oldName);
    }
    const FileText note { journal->path(), bytesAtHand(text) };
    const ReplaceOutcome outcome = replaceFiles({ &note, 1 }, leftovers);
    error = outcome.systemError;
    return outcome.succeeded();
}

void removeJournal(const std::string &firstPath)
{
    if (const std::optional<Journal> journal = journalBeside(firstPath))
        removeWithin(journal->folder, journal->name);
}

} // namespace velmora::replacement

namespace velmora {

bool replacementWasCutOff(std::span<const std::string> paths)
{
    using namespace replacement;
    if (paths.empty())
        return false;
    const std::optional<Journal> journal = journalBeside(paths.front());
    return journal && identityWithin(journal->folder, journal->name).has_value();
}

bool finishCutOffReplacement(std::span<const std::string> paths)
{
    using namespace replacement;
    if (paths.empty())
        return true;
    // A folder that cannot be opened holds no note, nor anything else to finish.
    if (const std::optional<Journal> journal = journalBeside(paths.front());
        journal && identityWithin(journal->folder, journal->name)) {
        if (!repairFrom(*journal, paths))
            return false; // the note stays for a later try
        removeJournal(paths.front());
    }
    removeStaleTemporariesOf(paths);
    return true;
}

} // namespace velmora
