#pragma once

#include <memory>

#include "privateprofile.h"

namespace velmora {

// An engine for a burst of reads that belong together, such as one rebuild of the tray menu or
// one refresh of the item list. With our own engine each file is read once, at its first read in
// the burst, and later reads of it answer from those bytes with exactly the results the engine
// gives for them; a written file is read afresh. The Windows functions keep a copy of their own,
// so there every read goes straight to them. Writes and flushes always go to the system engine.
std::unique_ptr<PrivateProfile> makeSnapshotProfile();

} // namespace velmora
