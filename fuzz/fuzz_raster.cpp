// The container readers, each fed through a file as the library meets them. Built once per
// format (QUORVEL_FUZZ_FORMAT names the extension, the whole input is the file) and once for
// all formats, where the first byte picks the format, the row layout and the composite mode.
#include <quorvel/wingdi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "api/file_state.h"
#include "fuzz_support.h"
#include "raster/bmg_image.h"
#include "raster/bridge.h"
#include "raster/codecs/codecs.h"
#include "raster/dispatch.h"
#include "wsq/diag.h"

namespace {

using namespace quorvel;

#ifndef QUORVEL_FUZZ_FORMAT
// The reader dispatch's keys, in its order, as extensions.
const std::vector<std::string> kExtensions = fuzz::lower_case(raster::reader_keys());
#endif

void read_one(const char* extension, const uint8_t* data, size_t size, int32_t layout,
              int composite) {
    if (std::string(extension) == "wsq" && fuzz::wsq_frame_exceeds(data, size, fuzz::kMaxWsqPixels))
        return;
    static const std::string base = fuzz::scratch_path("");
    const std::string path = base + extension;
    std::vector<uint8_t> file(data, data + size);
    if (std::string(extension) == "png") fuzz::refresh_png_crcs(file);
    if (!fuzz::write_file(path, file.data(), file.size())) std::abort();

    raster::BMGImage img;
    raster::ClearImageRecord(&img);
    img.dibLayout = layout;
    raster::WsqFileOptions wsq_options{24, 0.75, 500, nullptr};
    void* extra = std::string(extension) == "wsq" ? static_cast<void*>(&wsq_options) : nullptr;
    if (raster::ReadImageFile(path.c_str(), &img, extra) == raster::BMG_OK) {
        // What a reader returns must hold together for the bridge that turns it into a bitmap.
        HBITMAP bitmap = raster::BitmapFromImage(img, composite);
        if (bitmap != nullptr) DeleteObject(bitmap);
    }
    raster::ReleaseImageRecord(&img);
    std::free(wsq_options.comment);
    // Fuzzing jobs come and go by the thousand: leave no file behind.
    std::remove(path.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::install_silent_presenter();
    api::start_library();  // hands the container its PSD decoder, as a library load does
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    wsq::DiagCapture quiet;
#ifdef QUORVEL_FUZZ_FORMAT
    read_one(QUORVEL_FUZZ_FORMAT, data, size, 1, 1);
#else
    if (size == 0) return 0;
    const uint8_t selector = data[0];
    read_one(kExtensions[(selector & 0x0F) % kExtensions.size()].c_str(), data + 1, size - 1,
             (selector >> 4) & 1, (selector >> 5) & 1);
#endif
    return 0;
}
