#pragma once

// Calls of the store as the file-safety tests make them.

#include <functional>
#include <string>

#include "error.h"
#include "itemdata.h"

namespace velmora::test {

// The message of the Error that work raised, or "done".
inline std::string reported(const std::function<void()> &work)
{
    try {
        work();
    } catch (const Error &error) {
        return error.what();
    }
    return "done";
}

// One item with one value, over a.ini.
inline ItemList oneItem()
{
    ItemList items(1);
    items[0] = { "", "new", "a.ini", "S", "K", { { "", "01", "v", "1" } } };
    return items;
}

} // namespace velmora::test
