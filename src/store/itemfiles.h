#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "itemdata.h"

namespace velmora {

inline constexpr std::string_view ItemFileName = "ITEM.CSV";
inline constexpr std::string_view ValueFileName = "VALUE.CSV";

// Reads ITEM.CSV: one item per line, fields code, name, file, section, key; further fields are
// ignored and Values stays empty. Throws Error when the file cannot be read or a line has too
// few fields.
ItemList LoadItemFile(const std::string &path);

// Reads VALUE.CSV: one value per line, fields item code, value code, name, value.
std::vector<TValueData> LoadValueFile(const std::string &path);

// Gives every item the values whose ItemCode equals its Code byte for byte, in file order.
// Items that share a code each receive the matching values; values that match no item are left
// out.
void LinkValues(ItemList &items, std::vector<TValueData> values);

// The contents of both item files for the list: items in order, codes from their positions.
struct ItemFileTexts
{
    std::string items;
    std::string values;
};
ItemFileTexts FormatItemFiles(const ItemList &items);

// Writes ITEM.CSV and VALUE.CSV into directory (which ends in a path separator). Both files are
// written out completely before either replaces its old file, so a failure leaves both old files
// as they were. A field holding CR, LF or NUL, which would not read back as the same record, is
// refused before anything is written. Throws Error with the user's message on failure.
void WriteItemFiles(const std::string &directory, const ItemList &items);

// "%.2d": at least two digits, zero-padded.
std::string TwoDigitCode(std::size_t number);

} // namespace velmora
