#include "readers/formats/pcd.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "readers/formats/byte_view.h"
#include "readers/formats/colour_setup.h"
#include "readers/reader_classes.h"

namespace quorvel::readers {
namespace {

constexpr const char* kName = "PCD";
constexpr size_t kMinimumBytes = 6144;
constexpr size_t kRotationByte = 3586;
// Where the base images of an image pack start (sectors 4, 23 and 96 of 2048 bytes).
constexpr size_t kBaseOffsets[3] = {0x2000, 0xB800, 0x30000};
// An overview pack holds Base/16 thumbnails, the first after its three header sectors.
constexpr size_t kOverviewFirstImage = 0x1800;

bool overview_pack(std::span<const uint8_t> b) {
    return b.size() > kMinimumBytes && std::memcmp(b.data(), "PCD_OPA", 7) == 0;
}
bool image_pack(std::span<const uint8_t> b) {
    return b.size() > kMinimumBytes && std::memcmp(b.data() + 2048, "PCD", 3) == 0;
}

// Quarter turns the picture needs, counter-clockwise.
unsigned rotation_of(std::span<const uint8_t> b) { return b[kRotationByte] & 3u; }

// One base image decoded to BGR rows, `width` x `height`.
struct BaseImage {
    int width, height;
    std::vector<uint8_t> bgr;
    const uint8_t* pixel(int x, int y) const {
        return bgr.data() + (static_cast<size_t>(y) * width + x) * 3;
    }
};

// Rows come in pairs: two luma rows, then one row of each chroma at half width.
BaseImage decode_base(ByteView& in, int level, size_t offset, TColorManager& cm) {
    BaseImage img{192 << level, 128 << level, {}};
    const size_t w = static_cast<size_t>(img.width);
    in.seek(offset);
    const auto data = in.take(w * img.height * 3 / 2);
    img.bgr.resize(w * img.height * 3);
    std::vector<uint8_t> c1(w), c2(w);
    for (int pair = 0; pair < img.height / 2; ++pair) {
        const uint8_t* group = data.data() + pair * w * 3;
        for (size_t x = 0; x < w; ++x) {
            c1[x] = group[2 * w + x / 2];
            c2[x] = group[2 * w + w / 2 + x / 2];
        }
        for (int r = 0; r < 2; ++r) {
            const uint8_t* planes[3] = {group + r * w, c1.data(), c2.data()};
            cm.convert_row(planes, img.bgr.data() + (static_cast<size_t>(pair) * 2 + r) * w * 3,
                           img.width);
        }
    }
    return img;
}

// The source pixel for output (x, y) of a picture turned `turns` quarter turns
// counter-clockwise and enlarged `scale` times.
const uint8_t* source_pixel(const BaseImage& img, unsigned turns, int scale, int x, int y) {
    x /= scale;
    y /= scale;
    switch (turns) {
        case 1:
            return img.pixel(img.width - 1 - y, x);
        case 2:
            return img.pixel(img.width - 1 - x, img.height - 1 - y);
        case 3:
            return img.pixel(y, img.height - 1 - x);
        default:
            return img.pixel(x, y);
    }
}

}  // namespace

bool TPCDGraphic::read_image_info(toolkit::Stream& stream, int image_index) {
    TGraphicExGraphic::read_image_info(stream, image_index);
    const auto bytes = stream.rest();
    const bool overview = overview_pack(bytes);
    if (!overview && !image_pack(bytes)) return false;
    const int index = overview ? 0 : std::clamp(image_index, 0, 5);
    const bool turned = !overview && rotation_of(bytes) % 2 == 1;
    ReaderImageInfo& info = image_info();
    info.width = (turned ? 128 : 192) << index;
    info.height = (turned ? 192 : 128) << index;
    describe_samples(info, cmPhotoYCC, 8, 3, index >= 3 ? ctPCDHuffmann : ctNone);
    info.info_options = overview ? 1 : 0;
    return true;
}

void TPCDGraphic::load_image(toolkit::Stream& stream) {
    begin_load(stream, kName, resolution_);
    ByteView in(stream.rest(), kName);
    // An overview pack is read at index 0, its first thumbnail as it is stored.
    const bool overview = (image_info().info_options & 1) != 0;
    const int index = overview ? 0 : resolution_;
    set_up_conversion(color_manager(), cmPhotoYCC, 8, 3);
    const int level = std::min(index, 2), scale = 1 << (index - level);
    const unsigned turns = overview ? 0 : rotation_of(in.bytes());
    const int width = image_info().width, height = image_info().height;
    progress_start(gesLoadingData);
    const BaseImage base = decode_base(
        in, level, overview ? kOverviewFirstImage : kBaseOffsets[level], color_manager());
    prepare_bitmap(width, height, 0);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = scanline(y);
        for (int x = 0; x < width; ++x)
            std::memcpy(row + x * 3, source_pixel(base, turns, scale, x, y), 3);
        progress_row(y + 1, height);
    }
    progress_end();
}

const toolkit::GraphicClass& pcd_graphic_class() {
    return reader_class<TPCDGraphic>("TPCDGraphic");
}

}  // namespace quorvel::readers
