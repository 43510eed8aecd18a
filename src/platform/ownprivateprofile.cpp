#include "ownprivateprofile.h"

#include <new>
#include <optional>

#include <sys/file.h>
#include <sys/stat.h>

#include "filebytes.h"
#include "filedescriptor.h"
#include "initext.h"
#include "lockwait.h"
#include "replacementsteps.h"

namespace velmora {

namespace {

using replacement::Replacement;
using Clock = std::chrono::steady_clock;

enum class Attempt { Done, Failed, Retry };

Attempt replaceWith(Replacement &file, const std::optional<IniEdit> &edit)
{
    if (!edit)
        return Attempt::Done; // the value stands already
    // The kept bytes go to the new file straight from the old file's, without a copy between.
    const ProduceBytes bytes = [&edit](const PutBytes &put) {
        return put(edit->before) && put(edit->inserted) && put(edit->after);
    };
    const ReplaceOutcome outcome = replacement::replaceOpened({ &file, 1 }, { &bytes, 1 });
    if (outcome.succeeded())
        return Attempt::Done;
    return outcome.failedStep == ReplaceStep::Changed ? Attempt::Retry : Attempt::Failed;
}

// Writers take turns on the lock of the file that the path names, or on the lock of its
// directory while there is no file yet; where the file system takes no lock (NFS), they write
// without one. The file is read, and its replacement renamed, in the directory where the locked
// file was found, so that a link changed meanwhile cannot send the new bytes elsewhere. Retries
// when the path no longer names the file that was locked, because another writer replaced it
// meanwhile.
Attempt writeOpened(Replacement &file, std::string_view section, std::string_view key,
    std::string_view value, Clock::time_point deadline)
{
    const int locked = descriptor(file.original ? file.originalHandle : file.directoryHandle);
    if (lockBefore(locked, LOCK_EX, deadline) == Locking::Busy)
        return Attempt::Failed;
    if (replacement::identityWithin(file, file.name) != file.original)
        return Attempt::Retry;
    if (!file.original)
        return replaceWith(file, editIniValue({}, section, key, value));
    struct stat info = {};
    if (::fstat(locked, &info) != 0)
        return Attempt::Failed;
    const std::optional<FileBytes> contents = readOpenFile(locked, std::size_t(info.st_size));
    if (!contents)
        return Attempt::Failed;
    return replaceWith(file, editIniValue(contents->view(), section, key, value));
}

// A link to a missing file gets its file only once the write goes ahead, and loses it again
// when the write fails.
Attempt writeOnce(const std::string &path, std::string_view section, std::string_view key,
    std::string_view value, Clock::time_point deadline)
{
    Replacement file;
    int error = 0;
    if (replacement::openTarget(path, file, error) != ReplaceStep::None
        || (file.missingBehindLink
            && replacement::createBehindLink(file, error) != ReplaceStep::None))
        return Attempt::Failed;
    const Attempt attempt = writeOpened(file, section, key, value, deadline);
    if (attempt != Attempt::Done)
        replacement::removeCreatedBehindLinks({ &file, 1 });
    return attempt;
}

} // namespace

std::string OwnPrivateProfile::readString(
    const std::string &section, const std::string &key, const std::string &fileName)
{
    try {
        const std::optional<FileBytes> contents = readFileBytes(fileName);
        return contents ? findIniValue(contents->view(), section, key) : std::string();
    } catch (const std::bad_alloc &) {
        return {}; // like any file that cannot be read
    }
}

bool OwnPrivateProfile::writeString(const std::string &section, const std::string &key,
    const std::string &value, const std::string &fileName)
{
    if (!iniTextKeepsLines(section, key, value))
        return false;
    const Clock::time_point deadline = lockDeadline();
    try {
        for (;;) {
            const Attempt attempt = writeOnce(fileName, section, key, value, deadline);
            if (attempt != Attempt::Retry)
                return attempt == Attempt::Done;
            if (Clock::now() >= deadline)
                return false;
        }
    } catch (const std::bad_alloc &) {
        return false;
    }
}

void OwnPrivateProfile::flush(const std::string &) { }

} // namespace velmora
