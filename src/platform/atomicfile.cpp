#include "atomicfile.h"

#include <algorithm>
#include <vector>

#include "replacementjournal.h"
#include "replacementsteps.h"
#include "temporarynames.h"

namespace velmora {

namespace replacement {

namespace {

ReplaceStep writeTemporary(Replacement &file, const ProduceBytes &bytes, int &error)
{
    for (int attempt = 0;; ++attempt) {
        const std::string name = newTemporaryName(file);
        const Created created = createTemporary(file, name, error);
        if (created == Created::Yes) {
            file.temporaryName = name;
            return fillTemporary(file, bytes, error);
        }
        if (created == Created::Failed || attempt == 100)
            return ReplaceStep::Create;
    }
}

void removeTemporaries(std::span<Replacement> files)
{
    for (Replacement &file : files) {
        file.temporaryHandle.reset(); // on Windows a file goes only once its last handle does
        if (!file.temporaryName.empty())
            removeWithin(file, file.temporaryName);
    }
}

void dropOldFiles(std::span<Replacement> files)
{
    for (Replacement &file : files) {
        if (file.oldKept)
            removeWithin(file, file.oldName);
    }
}

// Renames the temporary file over the file, unless another program has replaced the file since
// it was opened.
ReplaceStep moveIntoPlace(const Replacement &file, int &error)
{
    if (identityWithin(file, file.name) != file.original) {
        error = 0;
        return ReplaceStep::Changed;
    }
    return renameWithin(file, file.temporaryName, file.name, error) ? ReplaceStep::None
                                                                    : ReplaceStep::Replace;
}

} // namespace

// A file whose temporary file is gone was moved into place: it gets its old file back, or goes
// away when it had none.
bool putBack(std::span<Replacement> replaced)
{
    bool allBack = true;
    for (Replacement &file : replaced) {
        if (file.temporaryName.empty() || identityWithin(file, file.temporaryName))
            continue;
        int error = 0;
        if (file.oldKept && identityWithin(file, file.oldName))
            allBack = renameWithin(file, file.oldName, file.name, error) && allBack;
        else if (!file.original)
            allBack = removeWithin(file, file.name) && allBack;
        else
            allBack = false;
    }
    return allBack;
}

void removeCreatedBehindLinks(std::span<Replacement> files)
{
    for (Replacement &file : files) {
        if (file.createdBehindLink && identityWithin(file, file.name) == file.original)
            removeWithin(file, file.name);
    }
}

void syncDirectories(std::span<const Replacement> files)
{
    std::vector<std::optional<FileIdentity>> synced;
    for (const Replacement &file : files) {
        std::optional<FileIdentity> directory = identityWithin(file, ".");
        if (directory && std::ranges::find(synced, directory) != synced.end())
            continue;
        syncDirectory(file);
        synced.push_back(std::move(directory));
    }
}

ReplaceOutcome replaceOpened(
    std::span<Replacement> files, std::span<const ProduceBytes> bytes, Leftovers leftovers)
{
    if (leftovers == Leftovers::Remove) {
        for (const Replacement &file : files)
            removeStaleTemporaries(file, false);
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        int error = 0;
        const ReplaceStep failed = writeTemporary(files[i], bytes[i], error);
        if (failed != ReplaceStep::None) {
            removeTemporaries(files.first(i + 1));
            return { failed, i, error };
        }
    }
    // A file that another program keeps from being replaced stops the whole replacement before
    // anything is renamed.
    for (std::size_t i = 0; i < files.size(); ++i) {
        int error = 0;
        if (files[i].original && !waitUntilReplaceable(files[i], error)) {
            removeTemporaries(files);
            return { ReplaceStep::Replace, i, error };
        }
    }
    const bool several = files.size() > 1;
    if (several) {
        // Every file but the last keeps its old file under a second name until all are replaced.
        for (Replacement &file : files.first(files.size() - 1)) {
            if (file.original)
                file.oldName = newTemporaryName(file);
        }
        int error = 0;
        if (!writeJournal(files, leftovers, error)) {
            removeTemporaries(files);
            return { ReplaceStep::Create, 0, error };
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        Replacement &file = files[i];
        if (!file.oldName.empty())
            file.oldKept = linkWithin(file, file.name, file.oldName);
        int error = 0;
        const ReplaceStep failed = moveIntoPlace(file, error);
        if (failed != ReplaceStep::None) {
            // Where the put-back fails, the journal, the kept old files and the waiting new ones
            // stay for finishCutOffReplacement; the journal goes only once the put-back lasts.
            if (putBack(files.first(i))) {
                if (several) {
                    syncDirectories(files.first(i));
                    removeJournal(files.front().path);
                }
                removeTemporaries(files);
                dropOldFiles(files);
            }
            return { failed, i, error };
        }
    }
    syncDirectories(files);
    for (Replacement &file : files)
        file.temporaryHandle.reset();
    dropOldFiles(files);
    if (several)
        removeJournal(files.front().path);
    return {};
}

} // namespace replacement

ProduceBytes bytesAtHand(std::string_view bytes)
{
    return [bytes](const PutBytes &put) { return put(bytes); };
}

ReplaceOutcome replaceFiles(std::span<const FileText> files, Leftovers leftovers)
{
    using namespace replacement;
    std::vector<Replacement> opened(files.size());
    std::vector<ProduceBytes> bytes;
    bytes.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        int error = 0;
        const ReplaceStep failed = openTarget(files[i].path, opened[i], error);
        if (failed != ReplaceStep::None)
            return { failed, i, error };
        bytes.push_back(files[i].bytes);
    }
    // Every file is accepted: only now does a link to a missing file get its file.
    for (std::size_t i = 0; i < files.size(); ++i) {
        int error = 0;
        if (opened[i].missingBehindLink) {
            if (const ReplaceStep failed = createBehindLink(opened[i], error);
                failed != ReplaceStep::None) {
                removeCreatedBehindLinks(opened);
                return { failed, i, error };
            }
        }
    }
    const ReplaceOutcome outcome = replaceOpened(opened, bytes, leftovers);
    if (!outcome.succeeded())
        removeCreatedBehindLinks(opened);
    return outcome;
}

} // namespace velmora
