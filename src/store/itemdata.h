#pragma once

#include <string>
#include <vector>

namespace velmora {

// All texts are byte strings in the system code page, kept and compared byte for byte.

// One value that the user may put into an item's key.
struct TValueData
{
    std::string ItemCode; // code of the owning item as read from VALUE.CSV; empty when new
    std::string ValueCode; // "01", "02", ... as read; written back, never used to find anything
    std::string Name; // caption of the value's menu entry
    std::string Value; // text written into the key, and compared with the key's current text
};

// One item: a key of an INI file and the values it may take.
struct TItemData
{
    std::string Code; // links the item to its values in the item files; empty when edited
    std::string Name; // caption of the item's menu entry and list row
    std::string FileName; // the INI file, as the user entered it
    std::string Section;
    std::string Key;
    std::vector<TValueData> Values;
};

// The ordered items of the running program; an item's position is its identity within one
// build of the tray menu.
using ItemList = std::vector<TItemData>;

} // namespace velmora
