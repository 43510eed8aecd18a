#pragma once

#include <cstddef>

#include "scalingscenario.h"

namespace velmora::bench {

// What one scenario costs: processor time of the program's thread in milliseconds (medians of
// the repetitions, but for the first build), and the resident memory once the menu has been built
// and opened and the list window filled.
struct ScalingFigures
{
    double firstBuildMs = 0; // the first RebuildTrayMenu, which creates every entry
    double rebuildMs = 0; // RebuildTrayMenu
    double pressMs = 0; // a press on the icon until the rebuilt menu has painted
    double refreshMs = 0; // the shown list window's RefreshItemView until it has painted
    long residentKb = 0;
};

// Builds the scenario in a folder of its own and measures it in this process, which must not
// have a QApplication yet.
ScalingFigures measureScaling(std::size_t itemCount, IniLayout layout, int repetitions);

} // namespace velmora::bench
