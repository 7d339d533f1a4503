// libquorvel-qt.so's one export: the presenter libquorvel.so installs when a display is there.
// The module links the library and shows the library's own forms.
#include <QApplication>
#include <QDir>
#include <QLibraryInfo>

#include <xcb/xcb.h>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <type_traits>
#include <vector>

#include "ui/desktop_module.h"
#include "ui/qt/module/module_presenter.h"

namespace quorvel::ui::qt {
namespace {

bool platform_plugin_installed(const char* prefix) {
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms");
    return !platforms.entryList({QString(prefix) + "*.so"}, QDir::Files).isEmpty();
}

// A connection to the X display named by DISPLAY, held while Qt makes its own: an X server
// that saw its last client go resets and turns new ones away meanwhile (Xvfb does by default).
class XProbe {
public:
    XProbe() {
        const char* display = std::getenv("DISPLAY");
        if (display != nullptr && *display != '\0') connection_ = xcb_connect(nullptr, nullptr);
    }
    ~XProbe() {
        if (connection_ != nullptr) xcb_disconnect(connection_);
    }
    XProbe(const XProbe&) = delete;
    XProbe& operator=(const XProbe&) = delete;
    bool reachable() const {
        return connection_ != nullptr && xcb_connection_has_error(connection_) == 0;
    }

private:
    xcb_connection_t* connection_ = nullptr;
};

bool wayland_display_reachable() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (name == nullptr || *name == '\0') return false;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (*name != '/' && runtime == nullptr) return false;
    const std::string socket = *name == '/' ? name : std::string(runtime) + "/" + name;
    return access(socket.c_str(), F_OK) == 0;
}

// The platforms worth Qt's try, in Qt's list syntax ("wayland;xcb"): the user's choice, or those
// whose display answers and whose plugin is there. Empty: no window can be shown.
std::string usable_platforms(const XProbe& x) {
    if (const char* chosen = std::getenv("QT_QPA_PLATFORM"); chosen && *chosen) return chosen;
    std::string platforms;
    if (wayland_display_reachable() && platform_plugin_installed("libqwayland"))
        platforms = "wayland";
    if (x.reachable() && platform_plugin_installed("libqxcb"))
        platforms += platforms.empty() ? "xcb" : ";xcb";
    return platforms;
}

bool shows_windows(const QString& platform) {
    return platform != "offscreen" && platform != "minimal" && platform != "minimalegl";
}

// Qt ends the process when none of the platforms it is given starts, and the display may have
// gone since it was probed; offscreen always starts, so it closes the list, and an application
// that got it (or any platform nobody can see) is taken down again. One that shows windows
// lives as long as the process: Qt does not take well to being torn down by a library.
bool start_application() {
    const XProbe x;
    const std::string platforms = usable_platforms(x);
    if (platforms.empty()) return false;
    static std::string name = "quorvel", option = "-platform", choice;
    static std::vector<char*> arguments;
    static int count;
    choice = platforms + ";offscreen";
    arguments = {name.data(), option.data(), choice.data(), nullptr};
    count = 3;
    auto* application = new QApplication(count, arguments.data());
    if (shows_windows(QGuiApplication::platformName())) return true;
    delete application;
    return false;
}

platform::Presenter* make_presenter() {
    bool runs_loop = false;
    if (QCoreApplication* application = QCoreApplication::instance()) {
        // A host's application without widgets cannot show windows.
        if (qobject_cast<QApplication*>(application) == nullptr) return nullptr;
    } else {
        if (!start_application()) return nullptr;
        runs_loop = true;
    }
    return new ModulePresenter(runs_loop);
}

}  // namespace
}  // namespace quorvel::ui::qt

extern "C" __attribute__((visibility("default"))) quorvel::platform::Presenter*
quorvel_qt_presenter() {
    // The entry must match what the library calls.
    static_assert(std::is_same_v<decltype(&quorvel_qt_presenter), quorvel::ui::DesktopEntry>);
    try {
        return quorvel::ui::qt::make_presenter();
    } catch (...) {
        return nullptr;
    }
}
