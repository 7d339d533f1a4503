// The NIST_COM attribute parser on arbitrary text: parse, print back, parse the print, and
// look up the resolution, which every decode of a commented stream does.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "wsq/diag.h"
#include "wsq/nistcom.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quorvel::wsq;
    DiagCapture quiet;
    const std::string text(reinterpret_cast<const char*>(data), size);  // NUL-terminated copy
    FetList* fet = nullptr;
    if (string2fet(&fet, text.c_str()) != 0) return 0;
    char* printed = nullptr;
    if (fet2string(&printed, fet) == 0) {
        FetList* again = nullptr;
        // What the printer writes, the parser must take back.
        if (string2fet(&again, printed) != 0) std::abort();
        release_fet(again);
        std::free(printed);
    }
    char* ppi = nullptr;
    if (extractfet_ret(&ppi, "PPI", fet) == 0) std::free(ppi);
    release_fet(fet);
    int found = 0;
    find_ppi_mem(&found, data, static_cast<int>(size > INT32_MAX ? INT32_MAX : size));
    return 0;
}
