// The converter's INI file on arbitrary bytes: read the two directories, write them back into
// a copy (which keeps every other line), and read the copy again.
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_support.h"
#include "ui/converter_ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quorvel;
    const std::string path = fuzz::scratch_path("ini");
    if (!fuzz::write_file(path, data, size)) return 0;
    const ui::RememberedDirectories read = ui::read_ini_directories(path);
    ui::write_ini_directories(path, read);
    ui::read_ini_directories(path);
    std::remove(path.c_str());
    return 0;
}
