// quorvel: compress fingerprint images to WSQ and back, look inside WSQ files, and measure
// what compression costs.
#include <strings.h>

#include <cstring>

#include <CLI/CLI.hpp>
#include <quorvel/version.h>

#include "batch.h"
#include "commands.h"
#include "convert.h"

namespace {

using quorvel::tool::ConvertRequest;
using quorvel::tool::EncodeRequest;

struct Arguments {
    std::string input;
    std::string output;
    EncodeRequest request;
    std::vector<std::string> files;
    std::vector<double> bitrates;
    quorvel::tool::BatchOptions batch;
    int thumbnail_size = 256;
    bool verbose = false;
    quorvel::tool::ConvertRequest convert;
    std::string tiff_compression;
};

CLI::Validator bitrate_range() { return CLI::Range(0.01, 8.0); }

void add_encode(CLI::App& app, Arguments& args) {
    CLI::App* cmd = app.add_subcommand(
        "encode", "Compress an image to a WSQ file (or save it in any output type)");
    cmd->add_option("IN", args.input, "Image in any format the library loads (quorvel formats)")
        ->required();
    cmd->add_option("OUT", args.output,
                    "File to write; its extension names the type (.wsq, .png, ...)")
        ->required();
    cmd->add_option("--bitrate,-b", args.request.bitrate,
                    "Target bits per pixel (0.75 or 2.25 are usual)")
        ->default_val(0.75)
        ->check(bitrate_range());
    cmd->add_option("--ppi", args.request.ppi, "Scan resolution in pixels per inch (-1: unknown)")
        ->default_val(500)
        ->check(CLI::Range(-1, 65535));
    cmd->add_option_function<std::string>(
        "--comment,-c",
        [&args](const std::string& text) {
            args.request.comment = text;
            args.request.has_comment = true;
        },
        "Comment stored in the file beside the NIST_COM attributes");
    cmd->footer(
        "Example: quorvel encode finger.pgm finger.wsq --bitrate 2.25 --comment \"left thumb\"\n"
        "         quorvel encode print.png print.wsq");
}

void add_decode(CLI::App& app, Arguments& args) {
    CLI::App* cmd = app.add_subcommand(
        "decode", "Decompress a WSQ file (or any loadable image) to PGM or any output type");
    cmd->add_option("IN", args.input, "WSQ file, or any image the library loads")->required();
    cmd->add_option("OUT", args.output,
                    "File to write: .pgm, or one of the output types (quorvel formats)")
        ->required();
    cmd->footer(
        "Example: quorvel decode finger.wsq finger.pgm\n         quorvel decode finger.wsq "
        "finger.png");
}

void add_convert(CLI::App& app, Arguments& args) {
    CLI::App* cmd = app.add_subcommand("convert", "Convert an image between the library's formats");
    cmd->add_option("IN", args.input, "Image in any format the library loads")->required();
    cmd->add_option("OUT", args.output, "File to write; its extension names the type")->required();
    ConvertRequest& r = args.convert;
    cmd->add_option_function<double>(
           "--bitrate,-b", [&r](double v) { r.bitrate = v; }, "WSQ bits per pixel")
        ->check(bitrate_range());
    cmd->add_option_function<int>(
           "--ppi", [&r](int v) { r.ppi = v; }, "WSQ pixels per inch")
        ->check(CLI::Range(-1, 65535));
    cmd->add_option_function<std::string>(
        "--comment,-c", [&r](const std::string& v) { r.comment = v; }, "WSQ comment text");
    cmd->add_option("--tiff-compression", args.tiff_compression, "TIFF compression")
        ->check(CLI::IsMember({"none", "zip", "packbits"}));
    cmd->add_option_function<int>(
           "--predictor", [&r](int v) { r.predictor = v; }, "TIFF predictor (ZIP only)")
        ->check(CLI::Range(0, 65535));
    cmd->add_option_function<int>(
           "--quality", [&r](int v) { r.quality = v; }, "JPEG quality 1..100 (90)")
        ->check(CLI::Range(1, 100));
    cmd->footer(
        "Example: quorvel convert scan.tif scan.wsq --bitrate 2.25\n"
        "Output types: .wsq .bmp .tif .png .jpg .tga .rgb");
}

void add_info(CLI::App& app, Arguments& args) {
    CLI::App* cmd = app.add_subcommand(
        "info", "List a WSQ file's segments, frame, NIST_COM attributes, comments and table ids");
    cmd->add_option("FILE", args.input, "WSQ file")->required();
}

void add_thumbnail(CLI::App& app, Arguments& args) {
    CLI::App* cmd = app.add_subcommand(
        "thumbnail", "Write a PNG of an image scaled to fit a square (for file managers)");
    cmd->add_option(
           "IN", args.input,
           "WSQ file (by its first bytes, whatever its name) or any image the library loads")
        ->required();
    cmd->add_option("OUT", args.output, "PNG file to write, whatever its extension")->required();
    cmd->add_option("--size,-s", args.thumbnail_size,
                    "Largest width and height in pixels; smaller images keep their size")
        ->default_val(256)
        ->check(CLI::Range(1, 4096));
    cmd->footer("Example: quorvel thumbnail -s 128 print.wsq print.png");
}

void add_roundtrip(CLI::App& app, Arguments& args) {
    CLI::App* cmd = app.add_subcommand(
        "roundtrip",
        "Encode and decode images; print size, compression ratio and PSNR for each bitrate");
    cmd->add_option("FILE", args.files, "8-bit binary PGM images")->required();
    cmd->add_option("--bitrate,-b", args.bitrates,
                    "Bitrate to try; repeat for several (default 0.75 and 2.25)")
        ->check(bitrate_range());
    cmd->footer("Example: quorvel roundtrip samples/*.pgm --bitrate 0.75 --bitrate 1.5");
}

void add_batch(CLI::App& app, Arguments& args) {
    quorvel::tool::BatchOptions& b = args.batch;
    CLI::App* cmd = app.add_subcommand(
        "batch",
        "Convert every image of the chosen formats in a folder (and its subfolders) to one format");
    cmd->add_option("INPUT_DIR", b.input_directory, "Folder to read")->required();
    cmd->add_option("OUTPUT_DIR", b.output_directory, "Folder to write (created when missing)")
        ->required();
    cmd->add_option("--to", b.to, "Output format: wsq, bmp, tif, png, jpg, tga or rgb")->required();
    cmd->add_option(
           "--formats", b.formats,
           "Input formats by extension (wsq,bmp,...) or all; walked in the window's list order")
        ->delimiter(',')
        ->default_str("all");
    cmd->add_flag("--recursive,-r", b.recursive,
                  "Include subfolders, rebuilding the tree below OUTPUT_DIR");
    cmd->add_option("--jobs,-j", b.jobs, "Worker processes (default: one per core)")
        ->check(CLI::Range(1, 256));
    cmd->add_flag("--dry-run,-n", b.dry_run, "List what would be converted, convert nothing");
    cmd->add_flag("--skip-existing", b.skip_existing, "Leave files whose output already exists");
    cmd->add_option("--report", b.report, "CSV report: file, status, message, sizes, seconds");
    cmd->add_option("--bitrate", b.bitrate, "WSQ bitrate")->check(bitrate_range());
    cmd->add_option("--ppi", b.ppi, "WSQ pixels per inch")->check(CLI::Range(-1, 65535));
    cmd->add_option("--comment", b.comment, "WSQ comment text");
    cmd->add_option("--tiff-compression", b.tiff_compression,
                    "TIFF compression: none, zip or packbits")
        ->check(CLI::IsMember({"none", "zip", "packbits"}, CLI::ignore_case));
    cmd->footer(
        "Example: quorvel batch scans/ out/ --to wsq --formats bmp,tif --recursive --report "
        "out/report.csv");
}

bool has_extension(const std::string& name, const char* extension) {
    return name.size() > std::strlen(extension) &&
           strcasecmp(name.c_str() + name.size() - std::strlen(extension), extension) == 0;
}

int tiff_code(const std::string& name) { return name == "zip" ? 1 : name == "packbits" ? 2 : 0; }

// PGM in and WSQ out (or WSQ in and PGM out) keep the tool's own fast path; everything else
// goes through the library's load and save.
int run_encode_any(Arguments& args) {
    using namespace quorvel::tool;
    if (has_extension(args.input, ".pgm") && has_extension(args.output, ".wsq"))
        return run_encode(args.input, args.output, args.request);
    ConvertRequest r;
    r.bitrate = args.request.bitrate;
    r.ppi = args.request.ppi;
    if (args.request.has_comment) r.comment = args.request.comment;
    return run_convert(args.input, args.output, r);
}

int run_decode_any(Arguments& args) {
    using namespace quorvel::tool;
    const bool to_pgm = has_extension(args.output, ".pgm");
    if (to_pgm && has_extension(args.input, ".wsq")) return run_decode(args.input, args.output);
    return to_pgm ? run_load_to_pgm(args.input, args.output)
                  : run_convert(args.input, args.output, {});
}

int dispatch(const CLI::App& app, Arguments& args) {
    using namespace quorvel::tool;
    set_verbose(args.verbose);
    if (app.got_subcommand("encode")) return run_encode_any(args);
    if (app.got_subcommand("decode")) return run_decode_any(args);
    if (app.got_subcommand("convert")) {
        if (!args.tiff_compression.empty())
            args.convert.tiff_compression = tiff_code(args.tiff_compression);
        return run_convert(args.input, args.output, args.convert);
    }
    if (app.got_subcommand("formats")) return run_formats();
    if (app.got_subcommand("info")) return run_info(args.input);
    if (app.got_subcommand("batch")) return run_batch(args.batch);
    if (app.got_subcommand("thumbnail"))
        return run_thumbnail(args.input, args.output, args.thumbnail_size);
    if (args.bitrates.empty()) args.bitrates = {0.75, 2.25};
    return run_roundtrip(args.files, args.bitrates);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "quorvel: WSQ compression of fingerprint images and conversion between image formats"};
    app.require_subcommand(1, 1);
    app.set_version_flag("--version", "quorvel " QUORVEL_VERSION_STRING);
    Arguments args;
    app.add_flag("--verbose,-v", args.verbose, "Show the codec's messages and statistics");
    add_encode(app, args);
    add_decode(app, args);
    add_convert(app, args);
    app.add_subcommand("formats", "List the extensions the library loads and the output types");
    add_info(app, args);
    add_roundtrip(app, args);
    add_thumbnail(app, args);
    add_batch(app, args);
    app.footer("Run 'quorvel COMMAND --help' for the options of one command.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    try {
        return dispatch(app, args);
    } catch (const std::exception& e) {
        quorvel::tool::report_error(e.what());
        return 1;
    }
}
