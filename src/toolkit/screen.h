// The screen the forms are centred on. Headless, it is a fixed size; a display layer replaces
// it with the real one.
#pragma once

#include "platform/private_api.h"

namespace quorvel::toolkit {

struct ScreenSize {
    int width = 1920;
    int height = 1080;
};

ScreenSize screen_size();
QUORVEL_PRIVATE_API void set_screen_size(ScreenSize size);

}  // namespace quorvel::toolkit
