// A file read into a bitmap and written back out in another format: the writers meet every
// record shape the readers produce. The first byte picks the reader (low four bits), the
// writer (next three bits, modulo the writers) and the TIFF compression (top bit).
#include <quorvel/wingdi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "raster/codecs/codecs.h"
#include "raster/dispatch.h"
#include "wsq/diag.h"

namespace {

using namespace quorvel;

// The dispatch tables' keys, in their order, as extensions.
const std::vector<std::string> kReaders = fuzz::lower_case(raster::reader_keys());
const std::vector<std::string> kWriters = fuzz::lower_case(raster::writer_keys());

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::install_silent_presenter();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t selector = data[0];
    const std::string reader = kReaders[(selector & 0x0F) % kReaders.size()];
    const std::string writer = kWriters[((selector >> 4) & 7) % kWriters.size()];
    ++data, --size;
    if (reader == "wsq" && fuzz::wsq_frame_exceeds(data, size, fuzz::kMaxWsqPixels)) return 0;

    wsq::DiagCapture quiet;
    static const std::string base = fuzz::scratch_path("");
    const std::string in_path = base + "in." + reader;
    const std::string out_path = base + "out." + writer;
    std::vector<uint8_t> file(data, data + size);
    if (reader == "png") fuzz::refresh_png_crcs(file);
    if (!fuzz::write_file(in_path, file.data(), file.size())) std::abort();

    raster::WsqFileOptions wsq_options{24, 0.75, 500, nullptr};
    HBITMAP bitmap = raster::LoadBitmapFromImageFile(in_path.c_str(),
                                                     reader == "wsq" ? &wsq_options : nullptr, 1);
    std::free(wsq_options.comment);
    // Fuzzing jobs come and go by the thousand: leave no file behind.
    std::remove(in_path.c_str());
    if (bitmap == nullptr) return 0;
    raster::TiffFileOptions tiff_options{static_cast<uint8_t>(selector >> 7 ? 1 : 2), 0, 0, 2};
    void* options = writer == "tif" ? static_cast<void*>(&tiff_options) : nullptr;
    raster::WriteImageFile(bitmap, out_path.c_str(), options);
    DeleteObject(bitmap);
    std::remove(out_path.c_str());
    return 0;
}
