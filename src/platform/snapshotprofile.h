#pragma once

#include <memory>

#include "privateprofile.h"

namespace velmora {

// An engine for a burst of reads that belong to one moment, such as one rebuild of the tray
// menu or one refresh of the item list: each file is read once, at its first read in the burst,
// and later reads of it answer from those bytes with exactly the results the system engine
// gives for them. Writes and flushes go to the system engine; a written file is read afresh.
std::unique_ptr<PrivateProfile> makeSnapshotProfile();

} // namespace velmora
