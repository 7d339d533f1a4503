// Placeholder for the toolkit's metafile class while it is being written: it refuses every file.
#include <memory>

#include "toolkit/bitmap.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::toolkit {
namespace {

class PendingGraphic : public Graphic {
public:
    void LoadFromStream(Stream&) override { throw EInvalidGraphic("Metafile files cannot be read yet"); }
    int width() const override { return 0; }
    int height() const override { return 0; }
    bool empty() const override { return true; }
    void draw(Bitmap&) const override {}
};

}  // namespace

const GraphicClass& metafile_class() {
    static const GraphicClass c{"TMetafile", [] { return std::unique_ptr<Graphic>(new PendingGraphic); }};
    return c;
}

}  // namespace quorvel::toolkit
