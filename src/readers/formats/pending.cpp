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

QUORVEL_PENDING_READER(targa_graphic_class, "TTargaGraphic", "Targa")
QUORVEL_PENDING_READER(pcx_graphic_class, "TPCXGraphic", "PCX or SCR")
QUORVEL_PENDING_READER(rla_graphic_class, "TRLAGraphic", "RLA")
QUORVEL_PENDING_READER(sgi_graphic_class, "TSGIGraphic", "sgi, bw or rgb(a)")
QUORVEL_PENDING_READER(psd_graphic_class, "TPSDGraphic", "PSD or PDD")
QUORVEL_PENDING_READER(autodesk_graphic_class, "TAutodeskGraphic", "Autodesk")
QUORVEL_PENDING_READER(pcd_graphic_class, "TPCDGraphic", "PCD")
QUORVEL_PENDING_READER(cut_graphic_class, "TCUTGraphic", "CUT")
QUORVEL_PENDING_READER(psp_graphic_class, "TPSPGraphic", "PSP")
QUORVEL_PENDING_READER(png_graphic_class, "TPNGGraphic", "PNG")

}  // namespace quorvel::readers
