#include "scalingscenario.h"

#include <fstream>

#include "itemfiles.h"

namespace velmora::bench {

namespace {

std::string iniFileOf(const std::string &directory, std::size_t item, IniLayout layout)
{
    return directory
        + (layout == IniLayout::OneFile ? std::string("all.ini")
                                        : "item" + std::to_string(item) + ".ini");
}

std::string sectionOf(std::size_t item)
{
    return "Section" + std::to_string(item);
}

} // namespace

void writeScalingIniFiles(const std::string &directory, std::size_t itemCount, IniLayout layout)
{
    std::string oneFile;
    for (std::size_t i = 0; i < itemCount; ++i) {
        const std::string section = "[" + sectionOf(i) + "]\r\nOther=x\r\nKey=3\r\n";
        if (layout == IniLayout::OneFile)
            oneFile += section;
        else
            std::ofstream(iniFileOf(directory, i, layout), std::ios::binary) << section;
    }
    if (layout == IniLayout::OneFile)
        std::ofstream(iniFileOf(directory, 0, layout), std::ios::binary) << oneFile;
}

void writeScalingItemFiles(
    const std::string &directory, std::size_t itemCount, IniLayout layout, int variant)
{
    const std::string mark = variant % 2 ? "*" : "";
    ItemList items(itemCount);
    for (std::size_t i = 0; i < itemCount; ++i) {
        TItemData &item = items[i];
        item.Name = "設定 " + std::to_string(i) + mark;
        item.FileName = iniFileOf(directory, i, layout);
        item.Section = sectionOf(i);
        item.Key = "Key";
        for (std::size_t j = 0; j < 10; ++j)
            item.Values.push_back(
                { "", TwoDigitCode(j + 1), "値 " + std::to_string(j) + mark, std::to_string(j) });
    }
    WriteItemFiles(directory, items);
}

} // namespace velmora::bench
