#pragma once

#include <span>
#include <string>

#include "atomicfile.h"

// The operating system's steps of replacing files; replaceFiles puts them together the same way
// on every system.
namespace velmora::replacement {

struct TemporaryFile
{
    std::string target; // the file to replace, with its links followed
    std::string path; // the temporary file beside it; empty until it was created
    bool targetExisted = false;
    std::string oldFile; // a second name of the target's old file while later files are replaced
};

// Creates the temporary file for file beside its target and fills it with the new bytes,
// flushed to disk. Returns the failing step, with error set, or None.
ReplaceStep writeTemporary(const FileText &file, TemporaryFile &temporary, int &error);

// Waits until no other program forbids renaming over the target; false, with error set, when
// one keeps doing so.
bool waitUntilReplaceable(const TemporaryFile &temporary, int &error);

// Renames the temporary file over the target in one step.
bool moveIntoPlace(const TemporaryFile &temporary, int &error);

// Gives an existing file a second name; false where the file system cannot.
bool linkFile(const std::string &existing, const std::string &newName);

// Renames from over to, replacing it.
void renameOver(const std::string &from, const std::string &to);

void removeFile(const std::string &path);

// Makes the finished renames last through a crash.
void finishReplacement(std::span<const TemporaryFile> temporaries);

} // namespace velmora::replacement
