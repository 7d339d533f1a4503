// The library-wide load limits: how many pixels one decoded picture may have and how many
// bytes one load may allocate. Readers, codecs, the WSQ decoder and the GDI layer check a
// declared size here before they allocate, so a small hostile file cannot exhaust memory.
#pragma once

#include <cstdint>
#include <optional>

namespace quorvel::platform {

struct LoadLimits {
    // 2^28 pixels hold a 1000 ppi ten-print card many times over.
    uint64_t max_pixels = uint64_t{1} << 28;
    // Bytes of the pixel buffers one load may ask for.
    uint64_t max_load_bytes = uint64_t{1} << 30;
    // Working memory a decoding library may take for one file: libjpeg's (a progressive file
    // keeps every coefficient) and libtiff's largest single block.
    uint64_t max_decoder_memory = uint64_t{1} << 31;
    // A metafile is drawn at its header's size, 4 bytes a pixel, in a time that grows with it,
    // whatever the few bytes of records that ask for it: 16384 x 1024, or 42 inches square at
    // 96 dpi. Drawings are held to these as well as to max_pixels.
    uint64_t max_metafile_side = 16384;
    uint64_t max_metafile_pixels = uint64_t{1} << 24;
    // An icon's PNG entry is decoded whole before it is checked: held to this as well.
    uint64_t max_icon_pixels = uint64_t{1} << 24;
};

// The largest block one bitmap, record or decoded picture may take, whatever the limits above
// allow: every size a host reads back (a DIB's size field, a LONG) and the codecs' row and
// block arithmetic stay within 32 bits.
inline constexpr uint64_t kMaxBlockBytes = 0x7FFFFFFFu;

// The limits in force: the defaults, or QUORVEL_MAX_PIXELS / QUORVEL_MAX_LOAD_BYTES as read at
// start-up, or what set_load_limits() last set. Safe to read on any thread.
LoadLimits load_limits();
// Zero fields keep the limit they replace.
void set_load_limits(const LoadLimits& limits);
// The limits the environment asks for (invalid or zero values keep the defaults).
LoadLimits limits_from_environment();
// A positive decimal count, or nothing for an unset, empty, signed, overflowing or junk value.
std::optional<uint64_t> parse_limit(const char* text);

// True when a picture of width x height pixels whose buffers take `bytes` bytes fits.
bool within_load_limits(uint64_t width, uint64_t height, uint64_t bytes);

// What a declared size must show before it is allocated. The readers refuse only claims
// grossly beyond what their file can give, so that a file cut short still loads as far as it
// goes (or fails in its reader's own words): pictures whose buffers take up to 1 MB always
// pass, larger ones need a quarter of their pixels in the file.
inline constexpr uint64_t kAlwaysPlausibleBytes = uint64_t{1} << 20;
inline constexpr uint64_t kTruncationSlack = 4;

// True when a picture of `pixels` pixels whose buffers take `bytes` bytes is plausible for a
// file whose data can give at most `pixels_in_file` pixels.
bool size_plausible(uint64_t pixels, uint64_t bytes, uint64_t pixels_in_file);

}  // namespace quorvel::platform
