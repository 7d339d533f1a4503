// Quorvel's C++ API: WSQ encoding, decoding and inspection of 8-bit gray fingerprint images,
// and loading and saving raster files. Every WSQ call owns all of its codec state (tables,
// trees, quantization, bit reader), so calls may run on any number of threads at once; so
// may the raster calls, which own their file-layer state (see load()). Nothing is printed;
// failures throw quorvel::Error. The C exports of quorvel.h keep their own single
// process-wide state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#if defined(__GNUC__)
#define QUORVEL_CXX_API __attribute__((visibility("default")))
#else
#define QUORVEL_CXX_API
#endif

namespace quorvel {

// The one exception type of the API. code() is the codec's own (negative) result code, or
// one of the kInvalid... codes below for arguments refused before the codec runs; what()
// holds the codec's diagnostic lines for the call (they are never written to stderr).
class QUORVEL_CXX_API Error : public std::runtime_error {
public:
    Error(int code, const std::string& message);
    ~Error() override;
    int code() const noexcept { return code_; }

private:
    int code_;
};

// Codes of failures found by the API itself (the WSQ codec's own codes are small negatives,
// the raster container's errors are its positive BMGError codes).
inline constexpr int kInvalidArgument = -1000;  // sizes that do not match, a null buffer
inline constexpr int kNotWsq = -1001;           // info(): not a WSQ stream or a damaged one
inline constexpr int kLoadFailed = -1002;       // load(): a reader refused the file
inline constexpr int kSaveFailed = -1003;       // save(): a writer failed, message says why

struct EncodeOptions {
    double bitrate = 0.75;               // target bits per pixel
    int ppi = 500;                       // scan resolution; -1 for unknown
    std::optional<std::string> comment;  // stored in its own COM segment after NIST_COM
    int threads = 1;  // at least 1; more split the transform and the coding (the same stream)
};

struct DecodeOptions {
    int threads = 1;  // at least 1; more split the reconstruction (the same pixels)
};

// One NIST_COM attribute; some attributes carry no value.
struct Attribute {
    std::string name;
    std::optional<std::string> value;
};

// A decoded image: width x height gray bytes, top row first, no padding between rows.
struct Image {
    std::vector<std::uint8_t> pixels;
    int width = 0;
    int height = 0;
    int ppi = -1;                        // from NIST_COM; -1 when the stream does not say
    std::optional<std::string> comment;  // the last comment that is not the NIST_COM one
    std::vector<Attribute> attributes;   // of the NIST_COM comment
};

struct Segment {
    unsigned marker = 0;          // 0xFFA0 ... 0xFFA8
    std::string name;             // "SOI", "SOF", "DHT", ...
    std::size_t offset = 0;       // of the marker
    int length = -1;              // the length field (it counts itself); -1 for SOI and EOI
    std::size_t coded_bytes = 0;  // entropy-coded bytes after a block header
};

struct Frame {
    int width = 0;
    int height = 0;
    float shift = 0.0f;  // the mean the encoder subtracted
    float scale = 0.0f;  // the scale it divided by
    int black = 0;
    int white = 0;
    int encoder = 0;
    int software = 0;
};

// What info() finds in a stream without decoding it.
struct StreamInfo {
    std::vector<Segment> segments;
    std::optional<Frame> frame;
    std::vector<std::pair<int, int>> transform_taps;  // low-pass, high-pass
    std::vector<float> bin_centers;                   // one per quantization table
    std::vector<int> huffman_ids;                     // tables defined, in order
    std::vector<int> block_tables;                    // the table each block uses
    std::vector<std::string> comments;                // every COM segment, in order
    std::vector<Attribute> attributes;                // of the NIST_COM comment(s)
};

// Encodes width x height gray pixels (top row first). The image must be at least 81 x 81 and
// at most 65535 on a side.
QUORVEL_CXX_API std::vector<std::uint8_t> encode(const std::uint8_t* pixels, int width, int height,
                                                 const EncodeOptions& options = {});
// The same; pixels.size() must be width * height.
QUORVEL_CXX_API std::vector<std::uint8_t> encode(const std::vector<std::uint8_t>& pixels, int width,
                                                 int height, const EncodeOptions& options = {});

QUORVEL_CXX_API Image decode(const std::uint8_t* data, std::size_t size);
QUORVEL_CXX_API Image decode(const std::vector<std::uint8_t>& data);
QUORVEL_CXX_API Image decode(const std::uint8_t* data, std::size_t size,
                             const DecodeOptions& options);
QUORVEL_CXX_API Image decode(const std::vector<std::uint8_t>& data, const DecodeOptions& options);

// Segments and attributes of a stream read from SOI to EOI; throws Error (kNotWsq) naming the
// first segment that cannot be read.
QUORVEL_CXX_API StreamInfo info(const std::uint8_t* data, std::size_t size);
QUORVEL_CXX_API StreamInfo info(const std::vector<std::uint8_t>& data);

// Whether data begins as a WSQ stream: the start-of-image marker, then one of the markers that
// may follow it (a table, the frame header or a comment). For file-type guessers: it reads four
// bytes and accepts streams that do not begin with a comment, as other encoders write them.
QUORVEL_CXX_API bool looks_like_wsq(const std::uint8_t* data, std::size_t size) noexcept;

// A raster image: rows top first, `channels` bytes per pixel (1: gray; 3: red, green, blue),
// no padding between rows.
struct Raster {
    std::vector<std::uint8_t> pixels;
    int width = 0;
    int height = 0;
    int channels = 1;
    int ppi = -1;                        // WSQ files only
    std::optional<std::string> comment;  // WSQ files only: as Image::comment
};

// How save() writes each format; the fields of other formats are ignored.
struct SaveOptions {
    double bitrate = 0.75;               // WSQ
    int ppi = 500;                       // WSQ
    std::optional<std::string> comment;  // WSQ
    int tiff_compression = 0;            // TIFF: 0 none, 1 ZIP (Deflate), 2 PackBits
    int tiff_predictor = 2;              // TIFF with ZIP
    int jpeg_quality = 90;               // JPEG, 1..100
};

// Loads any file the library reads (by its extension, as CreateBMPFromFile does), through
// the same readers. The image is gray (1 channel) when every pixel has equal red, green and
// blue, else RGB. Each load(), save() and convert() runs on settings, a library bitmap and
// container state of its own, so they run in parallel on any number of threads, also beside
// the file exports of quorvel.h (which keep their process-wide state).
QUORVEL_CXX_API Raster load(const std::string& path);

// Writes the image in the format the extension names (wsq, bmp, tif/tiff, png, jpg/jpeg,
// tga, rgb), with the writers SaveBMPToFile uses, to exactly `path`; no dialog is shown.
QUORVEL_CXX_API void save(const Raster& image, const std::string& path,
                          const SaveOptions& options = {});

// save(load(source), target, options).
QUORVEL_CXX_API void convert(const std::string& source, const std::string& target,
                             const SaveOptions& options = {});

// One kind of file load() reads, named by the extension that picks its reader.
struct FileFormat {
    std::string extension;    // lower case, without the dot
    std::string description;  // as a file dialog shows it, "Autodesk images" say
};

// Every extension load() reads, in the order the library tries them; WSQ first.
QUORVEL_CXX_API std::vector<FileFormat> readable_formats();

// How large a picture any load or decode may produce, for the whole process: the pixels of one
// image and the bytes its buffers may take. Larger inputs fail with an error before anything
// is allocated. The defaults (2^28 pixels, 2^30 bytes) can also be set by the environment
// variables QUORVEL_MAX_PIXELS and QUORVEL_MAX_LOAD_BYTES, read once at start-up.
struct Limits {
    std::uint64_t max_pixels = 0;
    std::uint64_t max_load_bytes = 0;
};

// The limits in force.
QUORVEL_CXX_API Limits limits() noexcept;
// Sets both limits; a zero field keeps the limit it would replace.
QUORVEL_CXX_API void set_limits(const Limits& limits) noexcept;

// The library's version, "MAJOR.MINOR.PATCH".
QUORVEL_CXX_API const char* version() noexcept;

}  // namespace quorvel
