#pragma once

namespace velmora {

// When a form builds its components: at once, or when it is first shown. The program creates
// every form at start-up and lets the forms it may never show build themselves on first use,
// which keeps an idle tray program small; tests build them at once to look at them.
enum class ComponentCreation { AtConstruction, OnFirstShow };

} // namespace velmora
