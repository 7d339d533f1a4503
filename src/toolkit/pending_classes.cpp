// Placeholders for the toolkit's Windows bitmap file, icon, metafile and JPEG classes while
// they are being written: each refuses every file. Replaced class by class.
#include <memory>

#include "toolkit/bitmap.h"
#include "toolkit/graphic_errors.h"

namespace quorvel::toolkit {
namespace {

class PendingGraphic : public Graphic {
public:
    explicit PendingGraphic(const char* kind) : kind_(kind) {}
    void LoadFromStream(Stream&) override { throw EInvalidGraphic(std::string(kind_) + " files cannot be read yet"); }
    int width() const override { return 0; }
    int height() const override { return 0; }
    bool empty() const override { return true; }
    void draw(Bitmap&) const override {}

private:
    const char* kind_;
};

}  // namespace

void Bitmap::LoadFromStream(Stream&) { throw EInvalidGraphic("Bitmap image is not valid"); }

std::vector<uint8_t> Bitmap::save_to_memory() const { return {}; }

const GraphicClass& bitmap_class() {
    static const GraphicClass c{"TBitmap", [] { return std::unique_ptr<Graphic>(new Bitmap); }};
    return c;
}

const GraphicClass& icon_class() {
    static const GraphicClass c{"TIcon", [] { return std::unique_ptr<Graphic>(new PendingGraphic("Icon")); }};
    return c;
}

const GraphicClass& metafile_class() {
    static const GraphicClass c{"TMetafile", [] { return std::unique_ptr<Graphic>(new PendingGraphic("Metafile")); }};
    return c;
}

const GraphicClass& jpeg_class() {
    static const GraphicClass c{"TJPEGImage", [] { return std::unique_ptr<Graphic>(new PendingGraphic("JPEG")); }};
    return c;
}

}  // namespace quorvel::toolkit
