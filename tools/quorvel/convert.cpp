#include "convert.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <quorvel/quorvel.h>

#include "api/load.h"
#include "api/read_formats.h"
#include "api/save.h"
#include "api/settings.h"
#include "codec.h"
#include "commands.h"
#include "pgm.h"
#include "platform/presenter.h"
#include "toolkit/picture.h"
#include "wsq/diag.h"

namespace quorvel::tool {
namespace {

struct OutputType {
    const char* extension;
    int type;
    const char* description;
};

constexpr OutputType kOutputs[] = {
    {"wsq", 1, "WSQ fingerprint image (8-bit gray)"},
    {"bmp", 2, "Windows bitmap, 24 bits"},
    {"tif", 3, "TIFF (--tiff-compression, --predictor)"},
    {"png", 4, "Portable network graphic"},
    {"jpg", 5, "JPEG, baseline JFIF (--quality, default 90)"},
    {"tga", 6, "Truevision Targa"},
    {"rgb", 7, "SGI RGB"},
};

// The codec's lines of a load and save: shown when it failed, or always when verbose.
class QuietCodec {
public:
    ~QuietCodec() {
        if (verbose() || failed) std::fputs(capture_.text().c_str(), stderr);
    }
    bool failed = false;

private:
    wsq::DiagCapture capture_;
};

// Messages the library would show in a box become stderr lines; dialogs are never shown.
class StderrPresenter : public platform::Presenter {
public:
    StderrPresenter() : previous_(platform::set_presenter(this)) {}
    ~StderrPresenter() override { platform::set_presenter(previous_); }
    int message_box(HWND, const std::string& text, const std::string& caption, unsigned) override {
        report_error(caption + ": " + text);
        return IDOK;
    }
    int show_modal(platform::Window&) override { return IDOK; }
    bool browse_for_folder(const std::string&, std::string&) override { return false; }

private:
    platform::Presenter* previous_;
};

const OutputType* output_type(const std::string& name) {
    const std::string extension = toolkit::file_extension(name);
    for (const OutputType& output : kOutputs)
        if (extension == output.extension) return &output;
    return nullptr;
}

std::string output_list() {
    std::string list;
    for (const OutputType& output : kOutputs)
        list += std::string(list.empty() ? "." : ", .") + output.extension;
    return list;
}

long long file_size(const std::string& name) {
    struct stat info {};
    return stat(name.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

std::string check_input(const std::string& input) {
    if (input == "-") return "'-' is not a file name: name the input file";
    if (api::load_route(input) == api::LoadRoute::None)
        return input + ": unknown input extension \"." + toolkit::file_extension(input) +
               "\" (quorvel formats lists them)";
    std::FILE* file = std::fopen(input.c_str(), "rb");
    if (file == nullptr) return input + ": cannot open: " + std::strerror(errno);
    std::fclose(file);
    return {};
}

// The name and reason of a bad command line, or empty.
std::string check_names(const std::string& input, const std::string& output) {
    if (output == "-") return "'-' is not a file name: name the output file";
    if (output_type(output) == nullptr)
        return output + ": unknown output extension \"." + toolkit::file_extension(output) +
               "\"; use one of " + output_list();
    return check_input(input);
}

// The loaded image (24 bits, rows from the bottom) as gray: luma of each pixel, so a gray
// image comes back exactly.
GrayImage gray_of(HBITMAP bitmap) {
    DIBSECTION section{};
    GetObjectA(bitmap, sizeof section, &section);
    GrayImage image;
    image.width = section.dsBm.bmWidth;
    image.height = section.dsBm.bmHeight;
    image.pixels.resize(size_t(image.width) * image.height);
    const auto* bits = static_cast<const uint8_t*>(section.dsBm.bmBits);
    const bool top_down = section.dsBmih.biHeight < 0;
    for (int y = 0; y < image.height; ++y) {
        const size_t stored = size_t(top_down ? y : image.height - 1 - y);
        const uint8_t* row = bits + stored * section.dsBm.bmWidthBytes;
        for (int x = 0; x < image.width; ++x, row += 3)
            image.pixels[size_t(y) * image.width + x] =
                static_cast<uint8_t>((114 * row[0] + 587 * row[1] + 299 * row[2] + 500) / 1000);
    }
    return image;
}

void apply(const ConvertRequest& request) {
    SetShowFilePropertiesDialog(0);
    if (request.bitrate) WriteWSQ_bitrate(*request.bitrate);
    if (request.ppi) WriteWSQ_ppi(*request.ppi);
    // The library keeps the pointer, so the text must outlive the save.
    static std::string comment;
    if (request.comment) {
        comment = *request.comment;
        WriteWSQ_comment(comment.data());
    }
    if (request.tiff_compression) WriteTIFFcompression(*request.tiff_compression);
    if (request.predictor) WriteTIFFpredictor(*request.predictor);
    if (request.quality) api::library_state().settings.jpeg_quality = *request.quality;
}

bool load_failed(const std::string& input, HBITMAP bitmap) {
    if (bitmap != nullptr) return false;
    const std::string& reason = api::last_load_error();
    report_error(input + ": cannot load: " + (reason.empty() ? "no image" : reason));
    return true;
}

// The writer's own status decides: a warning shown while loading is no failure of the save.
bool save_failed(HBITMAP bitmap, const std::string& output, const std::string& target, int type) {
    std::string reason;
    if (api::save_file(api::file_state(), api::library_state().settings, bitmap, output.c_str(),
                       type, reason))
        return false;
    report_error(target + ": not written: " + reason);
    return true;
}

}  // namespace

bool is_output_extension(const std::string& name) { return output_type(name) != nullptr; }

int run_convert(const std::string& input, const std::string& output,
                const ConvertRequest& request) {
    if (const std::string problem = check_names(input, output); !problem.empty()) {
        report_error(problem);
        return 1;
    }
    QuietCodec codec;
    StderrPresenter presenter;
    apply(request);
    HBITMAP bitmap = CreateBMPFromFile(const_cast<char*>(input.c_str()));
    codec.failed = load_failed(input, bitmap);
    if (codec.failed) return 1;
    BITMAP shape{};
    GetObjectA(bitmap, sizeof shape, &shape);
    const OutputType& type = *output_type(output);
    const std::string target = api::replace_extension(output, std::string(".") + type.extension);
    // The reason names the codec's last line; the rest shows with --verbose.
    if (save_failed(bitmap, output, target, type.type)) return 1;
    std::printf("%s: %d x %d, %lld bytes (from %s, %lld bytes)\n", target.c_str(),
                static_cast<int>(shape.bmWidth), static_cast<int>(shape.bmHeight),
                file_size(target), input.c_str(), file_size(input));
    return 0;
}

int run_load_to_pgm(const std::string& input, const std::string& output) {
    std::string problem = check_input(input);
    if (problem.empty() && output == "-") problem = "'-' is not a file name: name the output file";
    if (!problem.empty()) {
        report_error(problem);
        return 1;
    }
    QuietCodec codec;
    StderrPresenter presenter;
    HBITMAP bitmap = CreateBMPFromFile(const_cast<char*>(input.c_str()));
    codec.failed = load_failed(input, bitmap);
    if (codec.failed) return 1;
    GrayImage image = gray_of(bitmap);
    std::string error;
    if (!write_pgm(output, image, error)) {
        report_error(error);
        return 1;
    }
    std::printf("%s: %d x %d, %lld bytes (from %s)\n", output.c_str(), image.width, image.height,
                file_size(output), input.c_str());
    return 0;
}

int run_formats() {
    std::printf("Input (by extension):\n");
    for (const FileFormat& format : api::read_formats())
        std::printf("  .%-6s %s\n", format.extension.c_str(), format.description.c_str());
    std::printf("Output (by extension):\n");
    for (const OutputType& output : kOutputs)
        std::printf("  .%-6s type %d, %s\n", output.extension, output.type, output.description);
    return 0;
}

}  // namespace quorvel::tool
