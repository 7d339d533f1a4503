// Subband variance, the bitrate-driven choice of bin widths, dead-zone scalar quantization
// of the 60 coded subbands into one array of 16-bit integers, the three block lengths, and
// the decoder's inverse quantization.
#pragma once

#include <cstdint>

#include "wsq/error_codes.h"
#include "wsq/tree.h"

namespace quorvel::wsq {

struct WsqQuantTable;

// The encoder's quantization record.
struct WsqQuantization {
    float bitrate;                    // target bits per pixel
    float q;                          // control value: set to 0, read by nothing
    float cr;                         // control value: set to 0, read by nothing
    float bin_width[kSubbands];       // Q; 0 means the subband is not coded
    float zero_bin_width[kSubbands];  // Z = 1.2 Q
    float variance[kSubbands];        // subbands 0..59 only
};

// The instance the encoder uses.
WsqQuantization& process_quantization();

// Bin centre written to every quantization table, as scale 2 and value 44.
inline constexpr int kBinCenterScale = 2;
inline constexpr int kBinCenterValue = 44;

// Quantized values beyond the signed 16-bit range of the coefficient array are clamped to it.
inline constexpr int kMinQuantized = -32768;
inline constexpr int kMaxQuantized = 32767;

// Fills quant->variance[0..59] from a central window of each subband; threads > 1 sums
// windows on that many threads at once (each window in its own order: the same variances).
void subband_variance(WsqQuantization* quant, const WsqSubband* subbands, const float* image,
                      int width, int height, int threads = 1);

// Chooses the bin widths for quant->bitrate and quant->variance, then quantizes subbands
// 0..59. On success *sip is a calloc'd array of width x height values (the caller frees it)
// of which the first *count are the kept coefficients. 0 or -90.
// threads > 1 splits the quantization's rows among that many threads (the same integers).
int quantize(int16_t** sip, int* count, WsqQuantization* quant, const WsqSubband* subbands,
             const float* image, int width, int height, int threads = 1);

// The two halves of quantize: choosing the bin widths, and quantizing with the bin widths
// already in the record.
void compute_bin_widths(WsqQuantization* quant);
int quantize_coefficients(int16_t** sip, int* count, const WsqQuantization* quant,
                          const WsqSubband* subbands, const float* image, int width, int height,
                          int threads = 1);

// The three coded blocks take subbands [kBlockFirstSubband[b], kBlockFirstSubband[b + 1]),
// the last up to kCodedSubbands.
inline constexpr int kCodedBlocks = 3;
inline constexpr int kBlockFirstSubband[kCodedBlocks + 1] = {0, 19, 52, kCodedSubbands};

// Lengths of blocks 1 (subbands 0..18), 2 (19..51) and 3 (52..59).
void block_coefficient_counts(int* block1, int* block2, int* block3, const WsqQuantization* quant,
                              const WsqWaveletNode* nodes, const WsqSubband* subbands);

// Inverse quantization of a coefficient array of at most width x height values into a new
// calloc'd image of width x height floats (the caller frees it). 0, -91 or -92.
int unquantize(float** fip, const WsqQuantTable* table, const WsqSubband* subbands,
               const int16_t* sip, int width, int height);
// The same into the caller's width x height floats, every one of them written (uncoded
// subbands with zeros); threads > 1 splits the rows among that many threads. 0 or -92.
int unquantize_into(float* out, const WsqQuantTable* table, const WsqSubband* subbands,
                    const int16_t* sip, int width, int height, int threads = 1);
// 0 when the table is defined, else its diagnostic and -92: inverse quantization needs it.
int check_unquantize_table(const WsqQuantTable& table);

}  // namespace quorvel::wsq
