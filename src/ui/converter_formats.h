// The converter's two format lists: the input formats (a caption and a search pattern each,
// item 0 "All Bitmap Files" with an empty pattern) and the output formats, whose index plus 1
// is the SaveBMPToFile type code.
#pragma once

#include <array>
#include <string>

namespace quorvel::ui {

struct InputFormat {
    const char* caption;
    const char* pattern;
};

inline constexpr size_t kInputFormatCount = 43;
inline constexpr size_t kOutputFormatCount = 7;

const std::array<InputFormat, kInputFormatCount>& input_formats();
const std::array<const char*, kOutputFormatCount>& output_format_captions();

// The extension a pattern searches for ("wsq" for "\*.wsq").
std::string pattern_extension(const char* pattern);

}  // namespace quorvel::ui
