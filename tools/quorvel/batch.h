// `quorvel batch`: the converter window's job from the terminal, with parallel worker
// processes, a report, and the progress of the run.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/conversion_job.h"

namespace quorvel::tool {

struct BatchOptions {
    std::string input_directory;
    std::string output_directory;
    std::string to;                    // output format name: wsq, bmp, tif, png, jpg, tga, rgb
    std::vector<std::string> formats;  // input extensions, or "all"
    bool recursive = false;
    int jobs = 0;  // 0: one per core
    bool dry_run = false;
    bool skip_existing = false;
    std::string report;  // CSV file, empty for none
    std::optional<double> bitrate;
    std::optional<int> ppi;
    std::optional<std::string> comment;
    std::string tiff_compression;  // none, zip, packbits; empty leaves the setting
};

int run_batch(const BatchOptions& options);

// The SaveBMPToFile type of an output format name, 0 when unknown.
int output_type_of(const std::string& name);
// The search patterns of the input formats named (extensions, or "all"); false with the
// offending name in `unknown` when one is not an input format.
bool patterns_of(const std::vector<std::string>& names, std::vector<std::string>& patterns,
                 std::string& unknown);

// One planned or finished file of a run.
struct BatchEntry {
    ui::FileResult result;
    bool planned_skip = false;
};

// Runs the conversion of every entry that is not skipped, in `jobs` worker processes (in this
// process for one), filling in the results; false when Ctrl-C stopped it.
class BatchProgress;
bool convert_entries(ui::ConversionJob& job, std::vector<BatchEntry>& entries, int jobs,
                     BatchProgress& progress);

// The files each worker converts, in order: files with the same output name always go to the
// same worker, so the one converted later still overwrites the other, as in a serial run.
std::vector<std::vector<size_t>> assign_workers(const std::vector<BatchEntry>& entries,
                                                int workers);

// Ctrl-C asks the run to stop after the files in flight.
void install_stop_handler();
bool stop_requested();

}  // namespace quorvel::tool
