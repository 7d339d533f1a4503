// A backend for the converter's tests: any file reads unless its name holds "bad"; a save
// writes the input's name into the file the save would write, so tests see what went where,
// unless the input's name holds "refused": then it writes nothing and answers the reason.
#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "ui/conversion_job.h"
#include "ui/conversion_paths.h"

namespace quorvel::testing {

class FakeBackend : public ui::ConversionBackend {
public:
    HBITMAP load(const std::string& file_name) override {
        loads.push_back(file_name);
        last_loaded_ = file_name;
        if (file_name.find("bad") != std::string::npos) return nullptr;
        return reinterpret_cast<HBITMAP>(&last_loaded_);
    }
    bool save(HBITMAP bitmap, const std::string& target, int type, std::string& reason) override {
        saves.push_back(target);
        const bool refused = last_loaded_.find("refused") != std::string::npos;
        if (refused) reason = kRefusal;
        if (bitmap != nullptr && !refused)
            std::ofstream(ui::saved_name(target, type)) << last_loaded_;
        if (after_save) after_save();
        return bitmap != nullptr && !refused;
    }

    static constexpr const char* kRefusal = "image too small";

    std::vector<std::string> loads;
    std::vector<std::string> saves;
    std::function<void()> after_save;

private:
    std::string last_loaded_;
};

// Makes an empty file, with its directories.
inline void touch(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << "x";
}

inline std::string slurp(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace quorvel::testing
