// `convert`, `formats`, and the library side of `encode` and `decode`: any format the library
// loads in, any of its seven output types out, through CreateBMPFromFile and SaveBMPToFile.
#pragma once

#include <optional>
#include <string>

namespace quorvel::tool {

struct ConvertRequest {
    std::optional<double> bitrate;
    std::optional<int> ppi;
    std::optional<std::string> comment;
    std::optional<int> tiff_compression;  // export code: 0 none, 1 ZIP, 2 PackBits
    std::optional<int> predictor;
    std::optional<int> quality;
};

// Loads IN, saves OUT with the type its extension names. 0, or 1 after a message naming the
// file that failed; nothing is written on failure.
int run_convert(const std::string& input, const std::string& output, const ConvertRequest& request);

// Loads IN (any loadable format) and writes it as an 8-bit binary PGM.
int run_load_to_pgm(const std::string& input, const std::string& output);

// Lists the extensions the library loads (with their descriptions) and the output types.
int run_formats();

// True when the name's extension is one of the seven output types.
bool is_output_extension(const std::string& name);

}  // namespace quorvel::tool
