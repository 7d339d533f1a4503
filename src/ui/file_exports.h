// The library's file entry points, declared here until the chief header carries them.
#pragma once

#include <quorvel/quorvel.h>

extern "C" {
QUORVEL_API HBITMAP CreateBMPFromFile(char* file_name);
QUORVEL_API int SaveBMPToFile(HBITMAP bitmap, char* file_name, int type);
}
