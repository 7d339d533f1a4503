// Reader classes not written yet: each refuses every file with the family's invalid-image
// message. A class leaves this file when its reader is written.
#include <memory>

#include "readers/graphic_ex.h"
#include "readers/reader_classes.h"

namespace quorvel::readers {
namespace {

class PendingReader : public TGraphicExGraphic {
public:
    explicit PendingReader(const char* name) : name_(name) {}
    void LoadFromStream(toolkit::Stream&) override { fail(gesInvalidImage, name_); }

private:
    const char* name_;
};

}  // namespace

#define QUORVEL_PENDING_READER(accessor, class_name, format_name)                               \
    const toolkit::GraphicClass& accessor() {                                                 \
        static const toolkit::GraphicClass c{class_name, []() -> std::unique_ptr<toolkit::Graphic> { \
                                                 return std::make_unique<PendingReader>(format_name); \
                                             }};                                              \
        return c;                                                                             \
    }

QUORVEL_PENDING_READER(tiff_graphic_class, "TTIFFGraphic", "TIF/TIFF")
QUORVEL_PENDING_READER(eps_graphic_class, "TEPSGraphic", "EPS")

}  // namespace quorvel::readers
