// IFF ILBM reader: 8 interleaved bit planes compressed with ByteRun1, palette from CMAP.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "formats/run_length.h"
#include "raster/codecs/codec_io.h"
#include "raster/codecs/codecs.h"

namespace quorvel::raster {
namespace {

using codec_io::ImageRow;
using formats::ByteCursor;

constexpr size_t kBmhdBytes = 20;
constexpr uint8_t kMaskPlane = 1;          // masking: a mask plane follows each row's planes
constexpr uint8_t kTransparentColour = 2;  // masking: one palette index is transparent

struct Bmhd {
    uint16_t width, height;
    uint8_t planes, masking, compression;
    uint16_t transparent;
};

struct IffState {
    bool haveHeader = false;
    bool haveBody = false;
    Bmhd bmhd{};
};

bool id_is(const uint8_t* id, const char* name) { return std::memcmp(id, name, 4) == 0; }

BMGError read_bmhd(ByteCursor& in, uint32_t size, IffState& state) {
    if (state.haveHeader || size < kBmhdBytes) return BMG_ERR_CORRUPT_FILE;
    const uint8_t* b = in.take(kBmhdBytes);
    if (b == nullptr || !in.skip(size - kBmhdBytes)) return BMG_ERR_READ_FILE;
    using formats::be16;
    state.bmhd = Bmhd{be16(b), be16(b + 2), b[8], b[9], b[10], be16(b + 12)};
    if (state.bmhd.planes != 8 || state.bmhd.compression == 0) return BMG_ERR_FORMAT_OPTION;
    state.haveHeader = true;
    return BMG_OK;
}

BMGError read_cmap(ByteCursor& in, uint32_t size, IffState& state, BMGImage& img) {
    if (!state.haveHeader || img.pixels != nullptr) return BMG_ERR_CORRUPT_FILE;
    // An 8-bit index reaches 256 entries; further entries could never be used.
    const size_t entries = std::min<size_t>(size / 3, 256);
    img.width = state.bmhd.width;
    img.height = state.bmhd.height;
    img.bitsPerPixel = 8;
    img.paletteSize = static_cast<uint16_t>(entries);
    if (BMGError e = AllocateImageRecord(&img); e != BMG_OK) return e;
    if (state.bmhd.masking == kTransparentColour && state.bmhd.transparent < img.paletteSize)
        img.transparentIndex = static_cast<int16_t>(state.bmhd.transparent);
    const uint8_t* rgb = in.take(size);
    if (rgb == nullptr) return BMG_ERR_READ_FILE;
    for (size_t i = 0; i < entries; ++i)
        codec_io::SetPaletteEntry(img, i, rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
    return BMG_OK;
}

// One ByteRun1 row of `out.size()` bytes. A repeat may pass the row's end (it is cut there); a
// literal that does, or data that ends first, makes the body corrupt.
BMGError decode_row(ByteCursor& body, std::vector<uint8_t>& out) {
    const formats::RunResult r = formats::decode_packbits(body.rest(), out);
    body.skip(r.consumed);
    const bool whole =
        r.status == formats::RunStatus::ok || r.status == formats::RunStatus::cut_repeat;
    return whole ? BMG_OK : BMG_ERR_CORRUPT_FILE;
}

// Bit x of plane p is bit p of pixel x's index.
void chunky_row(const std::vector<uint8_t>& planes, size_t planeBytes, size_t planeCount,
                uint8_t* row, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x) {
        unsigned index = 0;
        for (size_t p = 0; p < planeCount; ++p)
            index |= ((planes[p * planeBytes + x / 8] >> (7 - x % 8)) & 1u) << p;
        row[x] = static_cast<uint8_t>(index);
    }
}

BMGError read_body(ByteCursor& in, uint32_t size, IffState& state, BMGImage& img) {
    if (img.pixels == nullptr || state.haveBody) return BMG_ERR_CORRUPT_FILE;
    if (state.bmhd.compression != 1) return BMG_ERR_FORMAT_OPTION;
    ByteCursor body = in.sub(size);
    if (!in.ok()) return BMG_ERR_READ_FILE;
    // Each plane row holds whole 16-bit words; a mask plane may follow the colour planes.
    const size_t planeBytes = ((static_cast<size_t>(img.width) + 15) / 16) * 2;
    const size_t stored = state.bmhd.planes + (state.bmhd.masking == kMaskPlane ? 1 : 0);
    std::vector<uint8_t> planes(planeBytes * stored), one(planeBytes);
    for (uint32_t r = 0; r < img.height; ++r) {
        for (size_t p = 0; p < stored; ++p) {
            if (BMGError e = decode_row(body, one); e != BMG_OK) return e;
            std::copy(one.begin(), one.end(),
                      planes.begin() + static_cast<std::ptrdiff_t>(p * planeBytes));
        }
        chunky_row(planes, planeBytes, state.bmhd.planes, ImageRow(img, img.height - 1 - r),
                   img.width);
    }
    if (body.remaining() != 0) return BMG_ERR_CORRUPT_FILE;
    state.haveBody = true;
    return BMG_OK;
}

BMGError read_chunk(ByteCursor& in, const uint8_t* id, uint32_t size, IffState& state,
                    BMGImage& img) {
    if (id_is(id, "BMHD")) return read_bmhd(in, size, state);
    if (id_is(id, "CMAP")) return read_cmap(in, size, state, img);
    if (id_is(id, "BODY")) return read_body(in, size, state, img);
    if (id_is(id, "CRNG") || id_is(id, "CAMG")) return in.skip(size) ? BMG_OK : BMG_ERR_READ_FILE;
    return BMG_ERR_CORRUPT_FILE;
}

BMGError read_iff(ByteCursor& in, BMGImage* img) {
    const uint8_t* form = in.take(4);
    if (form == nullptr) return BMG_ERR_READ_FILE;
    if (!id_is(form, "FORM")) return BMG_ERR_CORRUPT_FILE;
    const uint32_t formSize = in.be32();
    const uint8_t* type = in.take(4);
    if (type == nullptr) return BMG_ERR_READ_FILE;
    if (!id_is(type, "ILBM")) return BMG_ERR_CORRUPT_FILE;

    IffState state;
    try {
        for (uint64_t count = 8; count < formSize;) {
            const uint8_t* id = in.take(4);
            const uint32_t size = in.be32();
            if (id == nullptr || !in.ok()) return BMG_ERR_READ_FILE;
            if (BMGError e = read_chunk(in, id, size, state, *img); e != BMG_OK) return e;
            // Chunks are padded to an even length; the pad byte may be missing at the file's end.
            const uint64_t padded = size + (size & 1u);
            if (size & 1u) in.skip(1);
            count += 8 + padded;
        }
    } catch (const std::bad_alloc&) {
        return BMG_ERR_NO_MEMORY;
    }
    // A form without pixels is no picture.
    return state.haveBody ? BMG_OK : BMG_ERR_CORRUPT_FILE;
}

}  // namespace

BMGError ReadIffFile(const char* filename, BMGImage* img) {
    return codec_io::ReadWholeFile(filename, img, read_iff);
}

}  // namespace quorvel::raster
