#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "folderlock.h"
#include "itemdata.h"

namespace velmora {

inline constexpr std::string_view ItemFileName = "ITEM.CSV";
inline constexpr std::string_view ValueFileName = "VALUE.CSV";

// Reads ITEM.CSV: one item per line, fields code, name, file, section, key; further fields are
// ignored and Values stays empty. Throws Error when the file cannot be read (also when it is no
// regular file, or too large for the memory left) or a line has too few fields; each line is
// checked as it is found.
ItemList LoadItemFile(const std::string &path);

// Reads VALUE.CSV: one value per line, fields item code, value code, name, value.
std::vector<TValueData> LoadValueFile(const std::string &path);

// Holds the item files of one folder for a load of both: saves in other processes wait until it
// goes, so the two files read meanwhile belong to one save. First it repairs a save there that
// was cut off (the next start after a crash between its two renames), and removes the temporary
// files that killed saves left behind.
class ItemFilesReadLock
{
public:
    // directory ends in a path separator. Throws Error "ファイル <ITEM.CSV> は開けません" when
    // another program keeps the folder locked, or a cut-off save cannot be repaired.
    explicit ItemFilesReadLock(const std::string &directory);

private:
    FolderLock m_lock;
};

// Gives every item the values whose ItemCode equals its Code byte for byte, in file order.
// Items that share a code each receive the matching values; values that match no item are left
// out. Should memory run out, every item is left without values.
void LinkValues(ItemList &items, std::vector<TValueData> values);

// Reads VALUE.CSV at path and links its values to items: what LinkValues(items,
// LoadValueFile(path)) does, with every value made once, right in its item's list. Throws as
// LoadValueFile, and then leaves every item without values.
void LoadAndLinkValues(ItemList &items, const std::string &path);

// Loads both item files of directory (which ends in a path separator) into items: what
// items = LoadItemFile(its ITEM.CSV) and then LoadAndLinkValues(items, its VALUE.CSV) do, reusing
// the memory that items holds. Throws as they do: when ITEM.CSV cannot be read, items stays as
// it was; when VALUE.CSV cannot, the items are loaded and have no values. Should memory run out
// while the items are written over the list, the list is left empty rather than mixed.
void LoadItemFiles(ItemList &items, const std::string &directory);

// The contents of both item files for the list: items in order, codes from their positions. A
// text ends with the line of the first field that would break its line.
struct ItemFileTexts
{
    std::string items;
    std::string values;
};
ItemFileTexts FormatItemFiles(const ItemList &items);

// Writes ITEM.CSV and VALUE.CSV into directory (which ends in a path separator). Both files are
// written out completely before either replaces its old file, so a failure leaves both old files
// as they were, and a crash between the two renames is repaired by the next ItemFilesReadLock or
// save. Saves in one folder take turns. A field holding CR, LF or NUL, which would not read back
// as the same record, is refused before any file is replaced. Throws Error with the user's
// message on failure. The files' lines are written as they are made, so a save needs little
// memory beyond the items.
void WriteItemFiles(const std::string &directory, const ItemList &items);

// "%.2d": at least two digits, zero-padded.
std::string TwoDigitCode(std::size_t number);

} // namespace velmora
