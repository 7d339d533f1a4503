// Index and gray re-packing: 1, 2, 4, 8 or 16-bit sources into the 1, 4 or 8 bits a bitmap row
// stores. Indexes keep their value; gray levels are rescaled to the target's depth, and a
// 16-bit sample (index or gray) keeps its high byte, since a bitmap holds 256 entries at most.
#include <cstring>

#include "readers/colour/color_manager.h"
#include "readers/colour/samples.h"

namespace quorvel::readers {

using namespace colour;

void TColorManager::row_indexed(std::span<const uint8_t* const> source, uint8_t* target,
                                unsigned count, uint8_t mask) {
    const unsigned in_bits = source_.bits, out_bits = target_storage_bits();
    const bool gray = source_.model != cmIndexed;
    // Gray with alpha (or gray with extra samples) read interleaved: only the first sample.
    const unsigned stride = gray && source.size() == 1 ? source_.samples : 1;
    const bool big_endian = (source_.options & coNeedByteSwap) != 0;
    const unsigned value_bits = in_bits > 8 ? 8 : in_bits;
    const unsigned level_bits = target_.bits > 8 ? 8 : target_.bits;
    if (in_bits == 8 && out_bits == 8 && stride == 1 && mask == 0xFF &&
        (!gray || level_bits == 8)) {
        std::memcpy(target, source[0], count);
        return;
    }
    size_t next = 0;  // the source holds only the pixels the mask selects
    for (unsigned x = 0; x < count; ++x) {
        if (!pixel_selected(mask, x)) continue;
        unsigned value = read_raw(source[0], next++ * stride, in_bits, big_endian);
        if (in_bits > 8) value >>= in_bits - 8;
        value = gray ? rescale(value, value_bits, level_bits) : value & ((1u << out_bits) - 1);
        store_packed(target, x, out_bits, value);
    }
}

}  // namespace quorvel::readers
