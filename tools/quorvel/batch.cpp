#include "batch.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include <quorvel/quorvel.h>

#include "batch_progress.h"
#include "commands.h"
#include "ui/converter_formats.h"

namespace quorvel::tool {
namespace {

namespace fs = std::filesystem;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool apply_settings(const BatchOptions& options) {
    SetShowFilePropertiesDialog(0);
    if (options.bitrate) WriteWSQ_bitrate(*options.bitrate);
    if (options.ppi) WriteWSQ_ppi(*options.ppi);
    // The setting keeps the pointer: the options outlive the run.
    if (options.comment) WriteWSQ_comment(const_cast<char*>(options.comment->c_str()));
    const std::string compression = lower(options.tiff_compression);
    if (compression.empty()) return true;
    if (compression == "none") WriteTIFFcompression(0);
    else if (compression == "zip") WriteTIFFcompression(1);
    else if (compression == "packbits") WriteTIFFcompression(2);
    else return false;
    return true;
}

// Every collected file with its output name, and the ones that must not be converted.
std::vector<BatchEntry> plan(const ui::ConversionJob& job, bool skip_existing) {
    std::vector<BatchEntry> entries;
    for (const std::string& file : job.files()) {
        BatchEntry entry;
        entry.result.input = file;
        entry.result.output = job.output_name(file);
        entry.result.input_bytes = ui::file_size(file);
        if (job.replaces_input(file)) {
            entry.planned_skip = true;
            entry.result.message = ui::kReplacesInput;
        } else if (skip_existing && fs::exists(entry.result.output)) {
            entry.planned_skip = true;
            entry.result.message = "the output file exists";
        }
        if (entry.planned_skip) entry.result.status = ui::FileStatus::Skipped;
        entries.push_back(entry);
    }
    return entries;
}

std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

bool write_report(const std::string& path, const std::vector<BatchEntry>& entries) {
    std::ofstream out(path, std::ios::trunc);
    out << "file,status,message,input_bytes,output_bytes,seconds\n";
    for (const BatchEntry& entry : entries) {
        const ui::FileResult& r = entry.result;
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", r.seconds);
        out << csv_field(r.input) << ',' << ui::status_text(r.status) << ',' << csv_field(r.message)
            << ',' << r.input_bytes << ',' << r.output_bytes << ',' << seconds << '\n';
    }
    return static_cast<bool>(out.flush());
}

struct Counts {
    size_t converted = 0, failed = 0, skipped = 0, stopped = 0;
};

Counts count(const std::vector<BatchEntry>& entries) {
    Counts counts;
    for (const BatchEntry& entry : entries) {
        switch (entry.result.status) {
            case ui::FileStatus::Converted:
                ++counts.converted;
                break;
            case ui::FileStatus::Skipped:
                ++counts.skipped;
                break;
            case ui::FileStatus::Stopped:
                ++counts.stopped;
                break;
            default:
                ++counts.failed;
                break;
        }
    }
    return counts;
}

void print_dry_run(const std::vector<BatchEntry>& entries) {
    for (const BatchEntry& entry : entries) {
        if (entry.planned_skip)
            std::printf("skip: %s (%s)\n", entry.result.input.c_str(),
                        entry.result.message.c_str());
        else std::printf("%s -> %s\n", entry.result.input.c_str(), entry.result.output.c_str());
    }
}

int default_jobs() {
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    return cores > 0 ? static_cast<int>(cores) : 1;
}

bool prepare_directories(const BatchOptions& options) {
    if (!ui::directory_exists(options.input_directory)) {
        report_error("input directory does not exist: " + options.input_directory);
        return false;
    }
    std::error_code error;
    if (options.dry_run || ui::directory_exists(options.output_directory)) return true;
    fs::create_directories(options.output_directory, error);
    if (ui::directory_exists(options.output_directory)) return true;
    report_error("output directory cannot be created: " + options.output_directory);
    return false;
}

int finish(const std::vector<BatchEntry>& entries, const BatchOptions& options, double seconds) {
    if (!options.report.empty() && !write_report(options.report, entries)) {
        report_error("cannot write the report " + options.report);
    }
    const Counts c = count(entries);
    std::printf("%zu files: %zu converted, %zu failed, %zu skipped", entries.size(), c.converted,
                c.failed, c.skipped);
    if (c.stopped != 0) std::printf(", %zu not converted (stopped)", c.stopped);
    std::printf(" in %.1f s (%.1f files/s)\n", seconds, seconds > 0 ? c.converted / seconds : 0.0);
    if (c.stopped != 0) return 130;
    return c.failed != 0 ? 1 : 0;
}

}  // namespace

int output_type_of(const std::string& name) {
    static const std::pair<const char*, int> kNames[] = {
        {"wsq", 1}, {"bmp", 2},  {"tif", 3}, {"tiff", 3}, {"png", 4},
        {"jpg", 5}, {"jpeg", 5}, {"tga", 6}, {"rgb", 7},  {"sgi", 7}};
    for (const auto& [text, type] : kNames) {
        if (lower(name) == text) return type;
    }
    return 0;
}

// The formats are walked in the window's list order, however they were typed, so a run walks
// exactly what the window walks with the same items ticked.
bool patterns_of(const std::vector<std::string>& names, std::vector<std::string>& patterns,
                 std::string& unknown) {
    const auto& formats = ui::input_formats();
    std::vector<bool> ticked(formats.size(), false);
    for (const std::string& name : names) {
        const bool all = lower(name) == "all";
        bool found = all;
        for (size_t item = 1; item < formats.size(); ++item) {
            if (all || ui::pattern_extension(formats[item].pattern) == lower(name))
                ticked[item] = found = true;
        }
        if (!found) {
            unknown = name;
            return false;
        }
    }
    for (size_t item = 1; item < formats.size(); ++item) {
        if (ticked[item]) patterns.emplace_back(formats[item].pattern);
    }
    return true;
}

int run_batch(const BatchOptions& options) {
    ui::ConversionInputs inputs{options.input_directory,
                                options.output_directory,
                                {},
                                options.recursive,
                                output_type_of(options.to)};
    std::string unknown;
    if (inputs.output_type == 0) return report_error("unknown output format: " + options.to), 2;
    if (!patterns_of(options.formats.empty() ? std::vector<std::string>{"all"} : options.formats,
                     inputs.patterns, unknown)) {
        return report_error("unknown input format: " + unknown), 2;
    }
    if (!apply_settings(options))
        return report_error("unknown TIFF compression: " + options.tiff_compression), 2;
    // Before the output folder exists, so that whoever sees it can already stop the run cleanly.
    install_stop_handler();
    if (!prepare_directories(options)) return 2;
    const auto started = std::chrono::steady_clock::now();
    ui::ConversionJob job(inputs, ui::library_backend());
    job.collect([] { return stop_requested(); });
    std::vector<BatchEntry> entries = plan(job, options.skip_existing);
    if (options.dry_run) return print_dry_run(entries), 0;
    const size_t to_convert = std::count_if(entries.begin(), entries.end(),
                                            [](const BatchEntry& e) { return !e.planned_skip; });
    BatchProgress progress(to_convert, isatty(STDERR_FILENO) != 0);
    convert_entries(job, entries, options.jobs > 0 ? options.jobs : default_jobs(), progress);
    progress.finish();
    return finish(
        entries, options,
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

}  // namespace quorvel::tool
