// The screen the forms are centred on. Headless, it is a fixed size; a display layer replaces
// it with the real one.
#pragma once

namespace quorvel::toolkit {

struct ScreenSize {
    int width = 1920;
    int height = 1080;
};

ScreenSize screen_size();
void set_screen_size(ScreenSize size);

}  // namespace quorvel::toolkit
