// One batch conversion, shared by the converter window and `quorvel batch`: the inputs, the
// walk that collects the files, the target names, per-file results and a progress callback.
// It owns no controls; reading and writing go through a backend, by default the library's
// load and save entry points.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <quorvel/wingdi.h>

namespace quorvel::ui {

// Where the job reads and writes images.
class ConversionBackend {
public:
    virtual ~ConversionBackend() = default;
    // The file as a bitmap handle, null when it cannot be read.
    virtual HBITMAP load(const std::string& file_name) = 0;
    // Writes the handle under `target` with the extension of `type` (1 WSQ ... 7 SGI RGB):
    // the writer's own answer, with the reason when it wrote nothing.
    virtual bool save(HBITMAP bitmap, const std::string& target, int type, std::string& reason) = 0;
};

// The library's own entry points (defined with them, in src/api).
ConversionBackend& library_backend();

struct ConversionInputs {
    std::string input_directory;        // as typed; one trailing "\" or "/" is ignored
    std::string output_directory;       // as typed
    std::vector<std::string> patterns;  // "\*.wsq", ... in the order they are walked
    bool with_subdirectories = false;
    int output_type = 1;  // the SaveBMPToFile type code
};

// The message of a file skipped because its output would be written over an input.
extern const char* const kReplacesInput;

enum class FileStatus { Converted, ReadFailed, WriteFailed, Skipped, Stopped };

struct FileResult {
    std::string input;
    std::string output;  // the name actually written (the type's extension)
    FileStatus status = FileStatus::Converted;
    std::string message;
    uint64_t input_bytes = 0;
    uint64_t output_bytes = 0;
    double seconds = 0.0;
};

const char* status_text(FileStatus status);

class ConversionJob {
public:
    // After each file: the index j of the file just converted, the count n, and its result.
    using Progress = std::function<void(size_t j, size_t n, const FileResult& result)>;
    // Asked before each pattern is walked and after each file; true stops the job.
    using StopCheck = std::function<bool()>;
    // A subdirectory of the output tree that could not be created ("Error: cannot create ...").
    using DirectoryError = std::function<void(const std::string& message)>;

    ConversionJob(ConversionInputs inputs, ConversionBackend& backend);

    const ConversionInputs& inputs() const { return inputs_; }
    const std::string& input_base() const { return input_base_; }
    const std::string& output_base() const { return output_base_; }

    // Walks every pattern in turn; false when a stop was requested (nothing more is walked).
    bool collect(const StopCheck& should_stop);
    const std::vector<std::string>& files() const { return files_; }
    void set_files(std::vector<std::string> files);
    // Whether the output of a collected file is one of the collected files (the same type in
    // the same directory, or a.bmp to PNG beside a.png): such a file is skipped, never saved.
    bool replaces_input(const std::string& file) const;

    // The name handed to the backend for a collected file: with subdirectories the output base
    // plus the part after the input base, else the output directory as typed, "/" and the
    // file part.
    std::string target_name(const std::string& file) const;
    // The name the save actually writes.
    std::string output_name(const std::string& file) const;

    // Converts one collected file: creates its target directory when needed, reads, saves.
    FileResult convert(size_t j, const DirectoryError& on_directory_error = {});
    // Converts every collected file in order; false when a stop ended it early.
    bool run(const Progress& progress, const StopCheck& should_stop,
             const DirectoryError& on_directory_error = {});

    // The progress bar's position after file j of n: j / n * 100, rounded down.
    static int percent(size_t j, size_t n);

private:
    // With subdirectories, the target's directory exists or its failure is in `result`.
    bool target_directory_ready(const std::string& target, FileResult& result,
                                const DirectoryError& on_error) const;
    bool ensure_target_directory(const std::string& target, const DirectoryError& on_error) const;

    ConversionInputs inputs_;
    ConversionBackend& backend_;
    std::string input_base_;
    std::string output_base_;
    std::vector<std::string> files_;
    std::set<std::string> canonical_files_;  // files_, each as its canonical path
};

// Whether a path names an existing directory.
bool directory_exists(const std::string& path);
// Size of a regular file, 0 when there is none.
uint64_t file_size(const std::string& path);

}  // namespace quorvel::ui
