#include "replacementjournal.h"

#include <optional>
#include <vector>

#include "filebytes.h"
#include "temporarynames.h"

namespace velmora::replacement {

namespace {

// The note holds, per file, its directory (empty for the note's own, so that the folder may be
// moved), name, temporary name, old file's second name and whether it existed before: fields
// that each end in a NUL, which no name holds.
constexpr std::size_t FieldsPerFile = 5;
constexpr std::string_view Existed = "1";
constexpr std::string_view Missing = "0";

void appendField(std::string &text, std::string_view field)
{
    text.append(field).push_back('\0');
}

// The folder of the note beside the first of paths, as the system finds it.
std::string journalFolder(const std::string &firstPath)
{
    Replacement folder;
    return openDirectory(splitPath(journalPath(firstPath)).first, folder) ? foundDirectory(folder)
                                                                          : std::string();
}

// The files that a note in folder names, their directories opened; nothing when the bytes are
// no note of ours.
std::optional<std::vector<Replacement>> filesOfJournal(
    std::string_view text, const std::string &folder)
{
    std::vector<std::string> fields;
    while (!text.empty()) {
        const std::size_t end = text.find('\0');
        if (end == std::string_view::npos)
            return std::nullopt;
        fields.emplace_back(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    if (fields.empty() || fields.size() % FieldsPerFile != 0)
        return std::nullopt;
    std::vector<Replacement> files(fields.size() / FieldsPerFile);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string *field = &fields[i * FieldsPerFile];
        Replacement &file = files[i];
        openDirectory(field[0].empty() ? folder : field[0], file);
        file.name = field[1];
        file.temporaryName = field[2];
        file.oldName = field[3];
        file.oldKept = !file.oldName.empty();
        if (field[4] == Existed)
            file.original = FileIdentity {};
    }
    return files;
}

// Moves every new file that still waits into place; where one cannot be, puts the old files back.
bool completeOrUndo(std::span<Replacement> files)
{
    // A folder that is gone holds nothing to finish.
    for (const Replacement &file : files) {
        if (!file.directoryHandle.isOpen())
            return true;
    }
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

std::string journalPath(const std::string &firstPath)
{
    const auto [directory, name] = splitPath(firstPath);
    return directory + journalNameFor(name, 255);
}

bool writeJournal(std::span<const Replacement> files, Leftovers leftovers, int &error)
{
    const std::string folder = journalFolder(files.front().path);
    std::string text;
    for (const Replacement &file : files) {
        const std::string directory = foundDirectory(file);
        appendField(text, directory == folder ? std::string() : directory);
        appendField(text, file.name);
        appendField(text, file.temporaryName);
        appendField(text, file.oldName);
        appendField(text, file.original ? Existed : Missing);
    }
    const FileText journal { journalPath(files.front().path), bytesAtHand(text) };
    const ReplaceOutcome outcome = replaceFiles({ &journal, 1 }, leftovers);
    error = outcome.systemError;
    return outcome.succeeded();
}

void removeJournal(const std::string &firstPath)
{
    Replacement folder;
    const auto [directory, name] = splitPath(journalPath(firstPath));
    if (openDirectory(directory, folder))
        removeWithin(folder, name);
}

} // namespace velmora::replacement

namespace velmora {

bool replacementWasCutOff(std::span<const std::string> paths)
{
    return !paths.empty() && readFileBytes(replacement::journalPath(paths.front())).has_value();
}

bool finishCutOffReplacement(std::span<const std::string> paths)
{
    using namespace replacement;
    if (paths.empty())
        return true;
    if (const std::optional<FileBytes> journal = readFileBytes(journalPath(paths.front()))) {
        std::optional<std::vector<Replacement>> files
            = filesOfJournal(journal->view(), splitPath(journalPath(paths.front())).first);
        if (files && !completeOrUndo(*files))
            return false;
        removeJournal(paths.front());
    }
    removeStaleTemporariesOf(paths);
    return true;
}

} // namespace velmora
