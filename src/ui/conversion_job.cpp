#include "ui/conversion_job.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <system_error>

#include "ui/conversion_paths.h"
#include "ui/directory_walk.h"

namespace quorvel::ui {
namespace {

bool create_directory(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

bool create_with_parents(const std::string& path) {
    std::error_code error;
    return std::filesystem::create_directories(path, error);
}

std::string canonical_text(const std::string& path) {
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
    return error ? path : canonical.string();
}

}  // namespace

const char* const kReplacesInput = "the output would replace an input file";

const char* status_text(FileStatus status) {
    switch (status) {
        case FileStatus::Converted:
            return "converted";
        case FileStatus::ReadFailed:
            return "read failed";
        case FileStatus::WriteFailed:
            return "write failed";
        case FileStatus::Skipped:
            return "skipped";
        case FileStatus::Stopped:
            return "stopped";
    }
    return "unknown";
}

bool directory_exists(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

uint64_t file_size(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
    return static_cast<uint64_t>(info.st_size);
}

ConversionJob::ConversionJob(ConversionInputs inputs, ConversionBackend& backend)
    : inputs_(std::move(inputs)),
      backend_(backend),
      input_base_(strip_trailing_delimiter(inputs_.input_directory)),
      output_base_(strip_trailing_delimiter(inputs_.output_directory)) {}

bool ConversionJob::collect(const StopCheck& should_stop) {
    files_.clear();
    for (const std::string& pattern : inputs_.patterns) {
        if (should_stop && should_stop()) return false;
        walk_directory(input_base_, pattern, inputs_.with_subdirectories, files_);
    }
    set_files(std::move(files_));
    return true;
}

void ConversionJob::set_files(std::vector<std::string> files) {
    files_ = std::move(files);
    canonical_files_.clear();
    for (const std::string& file : files_) canonical_files_.insert(canonical_text(file));
}

bool ConversionJob::replaces_input(const std::string& file) const {
    return canonical_files_.count(canonical_text(output_name(file))) != 0;
}

std::string ConversionJob::target_name(const std::string& file) const {
    if (inputs_.with_subdirectories) return output_base_ + file.substr(input_base_.size());
    return inputs_.output_directory + "/" + file_part(file);
}

std::string ConversionJob::output_name(const std::string& file) const {
    return saved_name(target_name(file), inputs_.output_type);
}

// The directory itself, then with its parents, then one last try before giving up.
bool ConversionJob::ensure_target_directory(const std::string& target,
                                            const DirectoryError& on_error) const {
    const std::string directory = directory_part(target);
    if (directory.empty() || directory_exists(directory)) return true;
    if (create_directory(directory) || create_with_parents(directory)) return true;
    if (directory_exists(directory) || create_directory(directory)) return true;
    if (on_error) on_error("Error: cannot create " + directory + " directory.");
    return false;
}

bool ConversionJob::target_directory_ready(const std::string& target, FileResult& result,
                                           const DirectoryError& on_error) const {
    if (!inputs_.with_subdirectories) return true;
    return ensure_target_directory(target, [&](const std::string& message) {
        result.message = message;
        if (on_error) on_error(message);
    });
}

FileResult ConversionJob::convert(size_t j, const DirectoryError& on_directory_error) {
    const auto started = std::chrono::steady_clock::now();
    FileResult result;
    result.input = files_.at(j);
    result.output = output_name(result.input);
    result.input_bytes = file_size(result.input);
    if (replaces_input(result.input)) {
        result.status = FileStatus::Skipped;
        result.message = kReplacesInput;
        return result;
    }
    const std::string target = target_name(result.input);
    const bool directory_ready = target_directory_ready(target, result, on_directory_error);
    HBITMAP bitmap = backend_.load(result.input);
    // An unreadable file goes on as a null handle, as the save entry point expects.
    std::string reason;
    const bool written = backend_.save(bitmap, target, inputs_.output_type, reason);
    if (bitmap == nullptr) {
        result.status = FileStatus::ReadFailed;
        if (result.message.empty()) result.message = "cannot read the file";
    } else if (!directory_ready || !written) {
        result.status = FileStatus::WriteFailed;
        if (result.message.empty())
            result.message = reason.empty() ? "the output file was not written" : reason;
    }
    result.output_bytes = file_size(result.output);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    result.seconds = std::chrono::duration<double>(elapsed).count();
    return result;
}

bool ConversionJob::run(const Progress& progress, const StopCheck& should_stop,
                        const DirectoryError& on_directory_error) {
    const size_t n = files_.size();
    for (size_t j = 0; j < n; ++j) {
        const FileResult result = convert(j, on_directory_error);
        if (progress) progress(j, n, result);
        if (should_stop && should_stop()) return false;
    }
    return true;
}

int ConversionJob::percent(size_t j, size_t n) {
    return n == 0 ? 100 : static_cast<int>(j * 100 / n);
}

}  // namespace quorvel::ui
