#include "support/test_support.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

namespace quorvel::testing {

TempDir::TempDir() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        path_ = base / ("quorvel-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(path_)) return;
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::string run_output(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    std::array<char, 4096> buffer{};
    size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        output.append(buffer.data(), got);
    pclose(pipe);
    return output;
}

bool have_tool(const std::string& program) {
    return run("command -v '" + program + "' >/dev/null 2>&1") == 0;
}

namespace {

// Next header token, skipping white space and '#' comments.
std::string token(std::istream& in) {
    std::string word;
    int c = 0;
    while ((c = in.get()) != EOF) {
        if (c == '#') {
            while ((c = in.get()) != EOF && c != '\n') {
            }
            continue;
        }
        if (std::isspace(c)) {
            if (!word.empty()) break;
            continue;
        }
        word.push_back(static_cast<char>(c));
    }
    return word;
}

int number(std::istream& in) {
    const std::string word = token(in);
    if (word.empty()) throw std::runtime_error("netpbm: truncated header");
    return std::stoi(word);
}

Picture read_pam_header(std::istream& in) {
    Picture picture;
    int maxval = 255;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "ENDHDR") break;
        if (key == "WIDTH") words >> picture.width;
        if (key == "HEIGHT") words >> picture.height;
        if (key == "DEPTH") words >> picture.channels;
        if (key == "MAXVAL") words >> maxval;
    }
    if (maxval > 255) throw std::runtime_error("netpbm: 16-bit samples are not supported");
    return picture;
}

}  // namespace

Picture read_pnm(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    const std::string magic = token(in);
    Picture picture;
    int maxval = 1;
    if (magic == "P7") {
        picture = read_pam_header(in);
        maxval = 255;
    } else {
        if (magic.size() != 2 || magic[0] != 'P' || magic[1] < '1' || magic[1] > '6')
            throw std::runtime_error("not a netpbm file: " + path);
        picture.width = number(in);
        picture.height = number(in);
        const char kind = magic[1];
        if (kind != '1' && kind != '4') maxval = number(in);
        picture.channels = (kind == '3' || kind == '6') ? 3 : 1;
        if (maxval > 255) throw std::runtime_error("netpbm: 16-bit samples are not supported");
        const size_t count = static_cast<size_t>(picture.width) * picture.height * picture.channels;
        picture.samples.resize(count);
        if (kind == '4') {
            const size_t row = (picture.width + 7) / 8;
            std::vector<uint8_t> bits(row);
            for (int y = 0; y < picture.height; ++y) {
                in.read(reinterpret_cast<char*>(bits.data()), static_cast<std::streamsize>(row));
                for (int x = 0; x < picture.width; ++x)
                    picture.samples[static_cast<size_t>(y) * picture.width + x] =
                        (bits[x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;
            }
        } else if (kind <= '3') {
            for (auto& sample : picture.samples) {
                const int value = number(in);
                sample =
                    kind == '1' ? (value ? 0 : 255) : static_cast<uint8_t>(value * 255 / maxval);
            }
        } else {
            in.read(reinterpret_cast<char*>(picture.samples.data()),
                    static_cast<std::streamsize>(count));
            if (maxval != 255)
                for (auto& sample : picture.samples)
                    sample = static_cast<uint8_t>(sample * 255 / maxval);
        }
        if (!in) throw std::runtime_error("netpbm: truncated data in " + path);
        return picture;
    }
    const size_t count = static_cast<size_t>(picture.width) * picture.height * picture.channels;
    picture.samples.resize(count);
    in.read(reinterpret_cast<char*>(picture.samples.data()), static_cast<std::streamsize>(count));
    if (!in) throw std::runtime_error("netpbm: truncated data in " + path);
    return picture;
}

void write_pnm(const std::string& path, const Picture& picture) {
    std::ofstream out(path, std::ios::binary);
    if (picture.channels == 1 || picture.channels == 3) {
        out << (picture.channels == 1 ? "P5\n" : "P6\n") << picture.width << ' ' << picture.height
            << "\n255\n";
    } else {
        out << "P7\nWIDTH " << picture.width << "\nHEIGHT " << picture.height << "\nDEPTH "
            << picture.channels << "\nMAXVAL 255\nTUPLTYPE "
            << (picture.channels == 2 ? "GRAYSCALE_ALPHA" : "RGB_ALPHA") << "\nENDHDR\n";
    }
    out.write(reinterpret_cast<const char*>(picture.samples.data()),
              static_cast<std::streamsize>(picture.samples.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw std::runtime_error("cannot open " + path);
    // One read of the whole file: byte-wise iteration took minutes in the sanitizer build.
    std::vector<uint8_t> bytes(static_cast<size_t>(in.tellg()));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
        throw std::runtime_error("cannot read " + path);
    return bytes;
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace quorvel::testing
