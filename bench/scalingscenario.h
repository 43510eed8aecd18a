#pragma once

#include <cstddef>
#include <string>

namespace velmora::bench {

// How the items of a scaling scenario share their INI files.
enum class IniLayout { FilePerItem, OneFile };

// Writes the INI files that itemCount items name into directory (which ends in a separator):
// one per item, or one for all.
void writeScalingIniFiles(const std::string &directory, std::size_t itemCount, IniLayout layout);

// Writes ITEM.CSV and VALUE.CSV with itemCount items of 10 values each over those INI files.
// Two variants differ in every caption, so that each rebuild between them changes every entry.
void writeScalingItemFiles(
    const std::string &directory, std::size_t itemCount, IniLayout layout, int variant);

} // namespace velmora::bench
