#include "toolkit/screen.h"

namespace quorvel::toolkit {
namespace {
ScreenSize g_screen;
}

ScreenSize screen_size() { return g_screen; }
void set_screen_size(ScreenSize size) { g_screen = size; }

}  // namespace quorvel::toolkit
