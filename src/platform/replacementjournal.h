#pragma once

#include <span>
#include <string>

#include "replacementsteps.h"

// The note that a replacement of several files keeps beside the first file from just before its
// first rename until just after its last: which temporary file goes where, and which second name
// keeps each old file. Other programs reading the files see only the files.
namespace velmora::replacement {

std::string journalPath(const std::string &firstPath);

// Writes the note for files, whose temporary files are complete; false, with error set, when
// it cannot be written.
bool writeJournal(std::span<const Replacement> files, int &error);

void removeJournal(const std::string &firstPath);

} // namespace velmora::replacement
