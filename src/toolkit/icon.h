// The toolkit's icon class: Windows icon (and cursor) files whose entries are DIBs of 1 to 32
// bits with their AND mask, or PNG images. A file with several entries gives the largest
// one, and among equally large ones the deepest (the first such in the directory), which is
// the entry that shows the most of what the icon's author drew.
#pragma once

#include "toolkit/blend.h"

namespace quorvel::toolkit {

class Icon : public BlendedGraphic {
public:
    void LoadFromStream(Stream& stream) override;
};

}  // namespace quorvel::toolkit
