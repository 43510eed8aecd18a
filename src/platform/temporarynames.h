#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "replacementsteps.h"

// The names of the files a replacement keeps beside the files it replaces, so that what a killed
// replacement left behind can be told from everything else and removed.
namespace velmora::replacement {

// A fresh name for a temporary file beside file: "." + the start of the file's name +
// ".velmora-" + six random letters and digits, mixed so that no word looks like them, never
// longer than the directory allows. Only names made so are ever removed as left-overs.
std::string newTemporaryName(const Replacement &file);

// True when entry may be a name that newTemporaryName gave a temporary file beside a file
// called name, in any folder: "." + a start of name + ".velmora-" + a unique part. Such a name
// never holds a path separator and is never "..".
bool mayBeTemporaryNameOf(std::string_view entry, std::string_view name);

// The name of the note that a replacement of several files leaves beside the first file while
// it renames them: "." + the start of the name + ".velmora-journal".
std::string journalNameFor(std::string_view name, std::size_t limit);

// Removes the temporary files beside file that no live writer holds: those of its own name, or
// every one of ours in its directory when ofAnyFile.
void removeStaleTemporaries(const Replacement &file, bool ofAnyFile);

} // namespace velmora::replacement
