#pragma once

#include <span>
#include <string>

#include "replacementsteps.h"

// The note that a replacement of several files keeps beside the first file from just before its
// first rename until just after its last: which temporary file goes where, and which second name
// keeps each old file. Other programs reading the files see only the files.
namespace velmora::replacement {

// Writes the note for files, whose temporary files are complete, and makes it last before any
// of them is renamed; false, with error set, when it cannot be written.
bool writeJournal(std::span<const Replacement> files, Leftovers leftovers, int &error);

// Removes the note once what it describes has lasted. Its removal itself need not last: a note
// whose new files are all in place and whose old ones are gone changes nothing when it is
// found again.
void removeJournal(const std::string &firstPath);

} // namespace velmora::replacement
