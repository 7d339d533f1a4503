#include "ui/desktop_module.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/library_directory.h"
#include "platform/presenter.h"

namespace quorvel::ui {

using platform::Presenter;

namespace {

bool set_in_environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

bool forced_headless() {
    const char* value = std::getenv("QUORVEL_HEADLESS");
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

std::vector<std::string> module_candidates() {
    std::vector<std::string> paths;
    if (const std::string beside = platform::library_directory(); !beside.empty())
        paths.push_back(beside + "/" + kDesktopModule);
#ifdef QUORVEL_INSTALL_LIBDIR
    paths.push_back(std::string(QUORVEL_INSTALL_LIBDIR) + "/" + kDesktopModule);
#endif
    return paths;
}

// A module once loaded stays loaded, even when it declined: unloading Qt's libraries again
// in a running process is not something they are made for.
Presenter* load_module(const std::string& path) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) return nullptr;
    auto entry = reinterpret_cast<DesktopEntry>(dlsym(module, kDesktopEntry));
    return entry != nullptr ? entry() : nullptr;
}

Presenter* load_desktop_presenter() {
    if (forced_headless()) return nullptr;
    if (!set_in_environment("DISPLAY") && !set_in_environment("WAYLAND_DISPLAY")) return nullptr;
    for (const std::string& path : module_candidates()) {
        if (Presenter* presenter = load_module(path)) return presenter;
    }
    return nullptr;
}

}  // namespace

void use_desktop_presenter() {
    static std::once_flag tried;
    if (platform::presenter_replaced()) return;
    std::call_once(tried, [] {
        if (Presenter* desktop = load_desktop_presenter()) platform::set_presenter(desktop);
    });
}

}  // namespace quorvel::ui
