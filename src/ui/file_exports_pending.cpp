// Stand-ins for the file entry points while they are not in the library yet: nothing can be read
// and nothing is written. Weak, so the real definitions replace them; removed once they exist.
#include "ui/file_exports.h"

extern "C" {
__attribute__((weak)) HBITMAP CreateBMPFromFile(char*) { return nullptr; }
__attribute__((weak)) int SaveBMPToFile(HBITMAP, char*, int) { return 1; }
}
