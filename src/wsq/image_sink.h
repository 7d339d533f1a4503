// Where the decoder's entropy decoding puts coefficients: straight into the float image, each
// at its subband's place and through its subband's inverse quantizer, so that no array of
// indices is cleared, written and read again.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>

#include "wsq/diag.h"
#include "wsq/error_codes.h"
#include "wsq/records.h"
#include "wsq/subband_values.h"
#include "wsq/tree.h"

namespace quorvel::wsq {

// The subbands a stream codes under quantization table dqt: every one while the table is not
// defined (the decode then fails on the table, after reading the blocks).
inline bool is_coded(const WsqQuantTable& dqt, int k) {
    return dqt.defined != 1 || dqt.bin_width[k] != 0.0f;
}

// Coded subbands [first, end) one after another, each row by row at its place in the image,
// which holds zeros there: zero runs only move on. Coefficients past subband `end` are counted
// and dropped, as the frame-sized array of indices they once went to held them; more than
// `capacity` in all fail.
class ImageSink {
public:
    ImageSink(float* image, int width, const WsqSubband* subbands, const WsqQuantTable& dqt,
              int first, int end, size_t capacity)
        : image_(image),
          width_(width),
          subbands_(subbands),
          dqt_(dqt),
          end_(end),
          capacity_(capacity) {
        enter(first);
    }

    // `repeat` coefficients of index `value` (a value other than 0 comes one at a time).
    int put(int value, size_t repeat = 1) {
        if (repeat > capacity_ - count_) {
            diag("ERROR : huffman_decode_data_mem : ");
            diag("more coefficients than the frame holds (%zu)\n", capacity_);
            return kTooManyCoefficients;
        }
        count_ += repeat;
        // A 16-bit magnitude can exceed what a 16-bit index holds: keep the sign.
        if (value != 0 && left_ > 0) *at_ = (*values_)(std::clamp(value, -32768, 32767));
        skip(repeat);
        return 0;
    }
    size_t count() const { return count_; }

    // The rest of the current row, for a loop that writes within it: the next coefficient goes
    // to `at`, fewer than `left` more may follow in this row, and values[n] is the value of
    // index n for |n| <= SubbandValues::kSmall. After writing n coefficients, moved(n).
    struct Row {
        float* at;
        size_t left;
        const float* values;
    };
    Row row() const {
        if (left_ == 0) return {nullptr, 0, nullptr};
        return {at_, std::min(left_, capacity_ - count_), values_->table() + SubbandValues::kSmall};
    }
    void moved(size_t n) {
        at_ += n;
        left_ -= n;
        count_ += n;
    }

private:
    void skip(size_t n) {
        while (n > 0 && left_ > 0) {
            const size_t step = std::min(n, left_);
            at_ += step;
            left_ -= step;
            n -= step;
            if (left_ == 0) next_row();
        }
    }
    void next_row() {
        if (++row_ < rows_) {
            at_ += width_ - lx_;
            left_ = lx_;
            return;
        }
        enter(k_ + 1);
    }
    // The first coded subband from `from` on, or none: then every position is dropped.
    void enter(int from) {
        for (k_ = from; k_ < end_; ++k_) {
            const WsqSubband& s = subbands_[k_];
            if (!is_coded(dqt_, k_) || s.lx <= 0 || s.ly <= 0) continue;
            values_.emplace(dqt_.bin_center, dqt_.bin_width[k_], dqt_.zero_bin_width[k_]);
            at_ = image_ + static_cast<size_t>(s.y) * width_ + s.x;
            lx_ = static_cast<size_t>(s.lx);
            left_ = lx_;
            rows_ = s.ly;
            row_ = 0;
            return;
        }
        at_ = nullptr;
        left_ = 0;
    }

    float* image_;
    size_t width_;
    const WsqSubband* subbands_;
    const WsqQuantTable& dqt_;
    int end_;
    size_t capacity_;
    size_t count_ = 0;
    int k_ = 0;
    std::optional<SubbandValues> values_;
    float* at_ = nullptr;
    size_t lx_ = 0, left_ = 0;
    int rows_ = 0, row_ = 0;
};

}  // namespace quorvel::wsq
