// Real windows for a host with a display. The Qt presenter lives in a module of its own
// (libquorvel-qt.so, installed beside the library) so that the library never needs Qt: hosts
// without it load the library as before and stay headless.
#pragma once

namespace quorvel::platform {
class Presenter;
}

namespace quorvel::ui {

// The module links this library and uses its toolkit (the private node of its linker script,
// named with the version: a module of another version does not load).
inline constexpr const char* kDesktopModule = "libquorvel-qt.so";

// The module's one export: the presenter to install, or null when it cannot show windows here
// (a display it cannot reach, a Qt application without widgets).
inline constexpr const char* kDesktopEntry = "quorvel_qt_presenter";
using DesktopEntry = platform::Presenter* (*)();

// Installs the desktop presenter when the default one is still in force, a display is named
// (DISPLAY or WAYLAND_DISPLAY), QUORVEL_HEADLESS does not force headless and the module loads.
// Otherwise nothing changes. The module is tried once per process.
void use_desktop_presenter();

}  // namespace quorvel::ui
