// quorvel: compress fingerprint images to WSQ and back, look inside WSQ files, and measure
// what compression costs.
#include <CLI/CLI.hpp>
#include <quorvel/version.h>

#include "commands.h"

namespace {

using quorvel::tool::EncodeRequest;

struct Arguments {
    std::string input;
    std::string output;
    EncodeRequest request;
    std::vector<std::string> files;
    std::vector<double> bitrates;
    bool verbose = false;
};

CLI::Validator bitrate_range() { return CLI::Range(0.01, 8.0); }

void add_encode(CLI::App& app, Arguments& args) {
    CLI::App* cmd = app.add_subcommand("encode", "Compress a binary PGM image to a WSQ file");
    cmd->add_option("IN", args.input, "8-bit binary PGM image (P5)")->required();
    cmd->add_option("OUT", args.output, "WSQ file to write")->required();
    cmd->add_option("--bitrate,-b", args.request.bitrate, "Target bits per pixel (0.75 or 2.25 are usual)")
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
    cmd->footer("Example: quorvel encode finger.pgm finger.wsq --bitrate 2.25 --comment \"left thumb\"");
}

void add_decode(CLI::App& app, Arguments& args) {
    CLI::App* cmd = app.add_subcommand("decode", "Decompress a WSQ file to a binary PGM image");
    cmd->add_option("IN", args.input, "WSQ file")->required();
    cmd->add_option("OUT", args.output, "PGM image to write")->required();
    cmd->footer("Example: quorvel decode finger.wsq finger.pgm");
}

void add_info(CLI::App& app, Arguments& args) {
    CLI::App* cmd = app.add_subcommand(
        "info", "List a WSQ file's segments, frame, NIST_COM attributes, comments and table ids");
    cmd->add_option("FILE", args.input, "WSQ file")->required();
}

void add_roundtrip(CLI::App& app, Arguments& args) {
    CLI::App* cmd = app.add_subcommand(
        "roundtrip", "Encode and decode images; print size, compression ratio and PSNR for each bitrate");
    cmd->add_option("FILE", args.files, "8-bit binary PGM images")->required();
    cmd->add_option("--bitrate,-b", args.bitrates, "Bitrate to try; repeat for several (default 0.75 and 2.25)")
        ->check(bitrate_range());
    cmd->footer("Example: quorvel roundtrip samples/*.pgm --bitrate 0.75 --bitrate 1.5");
}

int dispatch(const CLI::App& app, Arguments& args) {
    using namespace quorvel::tool;
    set_verbose(args.verbose);
    if (app.got_subcommand("encode")) return run_encode(args.input, args.output, args.request);
    if (app.got_subcommand("decode")) return run_decode(args.input, args.output);
    if (app.got_subcommand("info")) return run_info(args.input);
    if (args.bitrates.empty()) args.bitrates = {0.75, 2.25};
    return run_roundtrip(args.files, args.bitrates);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"quorvel: WSQ compression of 8-bit gray fingerprint images"};
    app.require_subcommand(1, 1);
    app.set_version_flag("--version", "quorvel " QUORVEL_VERSION_STRING);
    Arguments args;
    app.add_flag("--verbose,-v", args.verbose, "Show the codec's messages and statistics");
    add_encode(app, args);
    add_decode(app, args);
    add_info(app, args);
    add_roundtrip(app, args);
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
