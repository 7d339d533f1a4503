// The toolkit's picture classes share this interface: load from a stream, report a size, draw
// onto a bitmap, and tell listeners how far a long load has come.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/stream.h"

namespace quorvel::toolkit {

class Bitmap;

enum class ProgressStage { Starting, Running, Ending };

struct ProgressEvent {
    ProgressStage stage;
    int percent;       // 0..100
    std::string text;  // status text of the stage ("Loading data...")
};

using ProgressListener = std::function<void(const ProgressEvent&)>;

class Graphic {
public:
    virtual ~Graphic() = default;
    Graphic() = default;
    Graphic(const Graphic&) = delete;
    Graphic& operator=(const Graphic&) = delete;

    // Replaces the picture by the one the stream holds from its position on; throws one of
    // the kinds of graphic_errors.h and then holds no picture.
    virtual void LoadFromStream(Stream& stream) = 0;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual bool empty() const = 0;
    // Paints the picture onto `target` with its top-left corner at (0, 0), clipped to the
    // target, in the target's pixel format.
    virtual void draw(Bitmap& target) const = 0;

    // A file beside the picture file that the format needs (the extension with its dot, such
    // as ".pal"), or empty. The file side reads it and hands it over before loading.
    virtual std::string sibling_extension() const { return {}; }
    // The sibling's bytes; `found` is false when there was no such file.
    virtual void set_sibling(std::vector<uint8_t> bytes, bool found) {
        (void)bytes;
        (void)found;
    }

    ProgressListener on_progress;

protected:
    void progress(ProgressStage stage, int percent, const std::string& text) const {
        if (on_progress) on_progress(ProgressEvent{stage, percent, text});
    }
};

// A picture class as a registry lists it: its name and how to make an empty instance.
struct GraphicClass {
    const char* name;
    std::unique_ptr<Graphic> (*make)();
};

// The toolkit's own classes.
const GraphicClass& bitmap_class();    // Windows bitmaps
const GraphicClass& icon_class();      // Windows icons
const GraphicClass& metafile_class();  // Windows metafiles and enhanced metafiles
const GraphicClass& jpeg_class();      // JPEG images

}  // namespace quorvel::toolkit
