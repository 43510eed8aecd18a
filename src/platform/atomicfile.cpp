#include "atomicfile.h"

#include <vector>

#include "replacementsteps.h"

namespace velmora {

namespace {

using replacement::TemporaryFile;

void removeTemporaries(std::span<const TemporaryFile> temporaries)
{
    for (const TemporaryFile &temporary : temporaries)
        replacement::removeFile(temporary.path);
}

// Gives the target's present file a second name, so that it can be put back if a later file
// cannot be replaced. Without hard links it stays unkept.
void keepOldFile(TemporaryFile &temporary)
{
    const std::string name = temporary.path + ".old";
    if (replacement::linkFile(temporary.target, name))
        temporary.oldFile = name;
}

void dropOldFiles(std::span<const TemporaryFile> temporaries)
{
    for (const TemporaryFile &temporary : temporaries) {
        if (!temporary.oldFile.empty())
            replacement::removeFile(temporary.oldFile);
    }
}

// Undoes the replacement of files: each gets its old file back, or goes away when it had none.
void putBack(std::span<const TemporaryFile> replaced)
{
    for (const TemporaryFile &temporary : replaced) {
        if (!temporary.oldFile.empty())
            replacement::renameOver(temporary.oldFile, temporary.target);
        else if (!temporary.targetExisted)
            replacement::removeFile(temporary.target);
    }
}

} // namespace

ReplaceOutcome replaceFiles(std::span<const FileText> files)
{
    std::vector<TemporaryFile> temporaries;
    temporaries.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        temporaries.emplace_back();
        int error = 0;
        const ReplaceStep failed = replacement::writeTemporary(files[i], temporaries.back(), error);
        if (failed != ReplaceStep::None) {
            if (temporaries.back().path.empty())
                temporaries.pop_back();
            removeTemporaries(temporaries);
            return { failed, i, error };
        }
    }
    const std::span<const TemporaryFile> all(temporaries);
    for (std::size_t i = 0; i < temporaries.size(); ++i) {
        TemporaryFile &temporary = temporaries[i];
        int error = 0;
        const bool replaceable
            = !temporary.targetExisted || replacement::waitUntilReplaceable(temporary, error);
        // Every file but the last keeps its old file until all are replaced.
        if (replaceable && temporary.targetExisted && i + 1 < temporaries.size())
            keepOldFile(temporary);
        if (!replaceable || !replacement::moveIntoPlace(temporary, error)) {
            putBack(all.first(i));
            removeTemporaries(all.subspan(i));
            dropOldFiles(all.subspan(i));
            return { ReplaceStep::Replace, i, error };
        }
    }
    dropOldFiles(all);
    replacement::finishReplacement(all);
    return {};
}

} // namespace velmora
