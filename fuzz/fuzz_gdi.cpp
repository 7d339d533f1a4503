// The GDI subset as a host drives it: DIB sections and device-dependent bitmaps from arbitrary
// headers, then pixel reads, colour tables, copies, queries and deletes in any order, stale
// handles included (they must fail, not crash). Every buffer the harness passes is as large as
// the Win32 contract asks for the request it makes, so any access beyond it is the library's.
#include <fuzzer/FuzzedDataProvider.h>
#include <quorvel/wingdi.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "raster/bmg_image.h"
#include "raster/bridge.h"

namespace {

struct InfoWithTable {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

// Larger legal bitmaps only cost time: a copy of 64 MB of pixels took 20 s instrumented.
constexpr uint64_t kMaxBuffer = uint64_t{4} << 20;
constexpr int kDepths[] = {0, 1, 4, 8, 16, 24, 32, 2, 15, 64};

// Mostly small sides; sometimes any 32-bit value, so that size arithmetic meets its limits.
int32_t side(FuzzedDataProvider& in) {
    return in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-3, 70)
                            : in.ConsumeIntegral<int32_t>();
}

int depth(FuzzedDataProvider& in) { return in.PickValueInArray(kDepths); }

uint64_t row_bytes(int64_t width, int bits, int alignment_bits) {
    return (static_cast<uint64_t>(width) * bits + alignment_bits - 1) / alignment_bits *
           (alignment_bits / 8);
}

// Sizes a library must refuse (beyond 2 GiB) go through; legal but large ones are skipped,
// since they only cost the fuzzer memory.
bool too_large_to_try(int64_t width, int64_t height, int bits) {
    if (width <= 0 || height == 0 || bits <= 0) return false;
    const uint64_t rows =
        height < 0 ? static_cast<uint64_t>(-height) : static_cast<uint64_t>(height);
    const unsigned __int128 bytes =
        static_cast<unsigned __int128>(row_bytes(width, bits, 32)) * rows;
    return bytes > kMaxBuffer && bytes <= (uint64_t{1} << 32);
}

void fill_header(FuzzedDataProvider& in, BITMAPINFOHEADER& h) {
    h.biSize = in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeIntegral<uint32_t>()
                                                    : sizeof(BITMAPINFOHEADER);
    h.biWidth = side(in);
    h.biHeight = side(in);
    h.biPlanes = in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeIntegral<uint16_t>() : 1;
    h.biBitCount = static_cast<WORD>(depth(in));
    h.biCompression =
        in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeIntegral<uint32_t>() : BI_RGB;
    h.biClrUsed = in.ConsumeBool() ? 0 : in.ConsumeIntegral<uint32_t>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<HGDIOBJ> handles;
    HDC screen = GetDC(nullptr);

    while (in.remaining_bytes() > 0) {
        HGDIOBJ any = handles.empty()
                          ? nullptr
                          : handles[in.ConsumeIntegralInRange<size_t>(0, handles.size() - 1)];
        switch (in.ConsumeIntegralInRange(0, 8)) {
            case 0: {  // a DIB section; its pixels get bytes from the input
                InfoWithTable info{};
                fill_header(in, info.header);
                in.ConsumeData(info.colours, sizeof info.colours);
                if (too_large_to_try(info.header.biWidth, info.header.biHeight,
                                     info.header.biBitCount))
                    break;
                void* bits = nullptr;
                const UINT usage =
                    in.ConsumeIntegralInRange(0, 7) == 0 ? DIB_PAL_COLORS : DIB_RGB_COLORS;
                HBITMAP made = CreateDIBSection(in.ConsumeBool() ? screen : nullptr,
                                                reinterpret_cast<BITMAPINFO*>(&info), usage, &bits,
                                                nullptr, 0);
                if (made == nullptr) break;
                handles.push_back(made);
                BITMAP record{};
                if (GetObjectA(made, sizeof record, &record) != sizeof record || bits == nullptr)
                    __builtin_trap();
                in.ConsumeData(bits, static_cast<size_t>(record.bmWidthBytes) * record.bmHeight);
                break;
            }
            case 1: {  // a device-dependent bitmap from word-aligned top-down rows
                const int32_t width = side(in), height = side(in);
                const int bits = depth(in);
                const UINT planes =
                    in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeIntegral<UINT>() : 1;
                if (too_large_to_try(width, height, bits)) break;
                std::vector<uint8_t> rows;
                if (width > 0 && height > 0 && bits > 0 && in.ConsumeBool()) {
                    const uint64_t wanted =
                        row_bytes(width, bits, 16) * static_cast<uint64_t>(height);
                    if (wanted > kMaxBuffer) break;
                    rows = in.ConsumeBytes<uint8_t>(wanted);
                    rows.resize(wanted);
                }
                HBITMAP made =
                    CreateBitmap(width, height, planes, bits, rows.empty() ? nullptr : rows.data());
                if (made != nullptr) handles.push_back(made);
                break;
            }
            case 2: {  // pixels out, in a depth and direction the request names
                InfoWithTable info{};
                fill_header(in, info.header);
                const UINT start = in.ConsumeIntegralInRange<UINT>(0, 80);
                const UINT lines = in.ConsumeIntegralInRange<UINT>(0, 80);
                std::vector<uint8_t> bits;
                const bool want_bits = in.ConsumeBool();
                const int32_t width = info.header.biWidth;
                if (want_bits) {
                    // Room for `lines` rows of the requested width and depth (rows of any other
                    // shape are refused, so one byte stands for them).
                    const uint64_t wanted =
                        width > 0 && info.header.biBitCount > 0
                            ? row_bytes(width, info.header.biBitCount, 32) * lines
                            : 1;
                    if (wanted > kMaxBuffer) break;
                    bits.resize(wanted > 0 ? wanted : 1);
                }
                GetDIBits(screen, static_cast<HBITMAP>(any), start, lines,
                          bits.empty() ? nullptr : bits.data(),
                          reinterpret_cast<BITMAPINFO*>(&info),
                          in.ConsumeBool() ? DIB_RGB_COLORS : DIB_PAL_COLORS);
                break;
            }
            case 3: {  // colour tables through a memory context
                HDC memory = CreateCompatibleDC(in.ConsumeBool() ? screen : nullptr);
                if (memory == nullptr) break;
                HGDIOBJ previous = SelectObject(memory, any);
                const UINT start = in.ConsumeIntegralInRange<UINT>(0, 300);
                const UINT count = in.ConsumeIntegralInRange<UINT>(0, 300);
                std::vector<RGBQUAD> table(count + 1);
                in.ConsumeData(table.data(), table.size() * sizeof(RGBQUAD));
                if (in.ConsumeBool()) SetDIBColorTable(memory, start, count, table.data());
                else GetDIBColorTable(memory, start, count, table.data());
                if (previous != nullptr) SelectObject(memory, previous);
                DeleteDC(memory);
                break;
            }
            case 4: {  // copies, scaled, monochrome, as sections, deleting the original
                const int width = side(in), height = side(in);
                const UINT flags = in.ConsumeIntegral<UINT>() &
                                   (LR_MONOCHROME | LR_COPYDELETEORG | LR_CREATEDIBSECTION);
                const UINT type = in.ConsumeIntegralInRange(0, 15) == 0 ? 1 : IMAGE_BITMAP;
                if (too_large_to_try(width, height, 32)) break;
                HANDLE copy = CopyImage(any, type, width, height, flags);
                if (copy != nullptr) handles.push_back(static_cast<HGDIOBJ>(copy));
                break;
            }
            case 5: {  // queries with any buffer size up to the largest record
                const int wanted = in.ConsumeIntegralInRange<int>(-1, sizeof(DIBSECTION));
                std::vector<uint8_t> out(sizeof(DIBSECTION));
                GetObjectA(any, wanted, in.ConsumeBool() ? out.data() : nullptr);
                break;
            }
            case 6: {  // the bridge reads a bitmap into an image record
                quorvel::raster::BMGImage img;
                quorvel::raster::ClearImageRecord(&img);
                quorvel::raster::ImageFromBitmap(static_cast<HBITMAP>(any), &img, in.ConsumeBool());
                quorvel::raster::ReleaseImageRecord(&img);
                break;
            }
            case 7:  // delete; the handle stays in the list and goes stale
                DeleteObject(any);
                break;
            default:
                handles.push_back(CreateSolidBrush(in.ConsumeIntegral<COLORREF>()));
                break;
        }
    }
    for (HGDIOBJ handle : handles) DeleteObject(handle);
    ReleaseDC(nullptr, screen);
    return 0;
}
