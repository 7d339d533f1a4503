/* A host without Qt of its own: loads libquorvel.so with dlopen and either shows the converter
   (`converter`; with COUNT, that many times, saying after each whether the window's closing
   wrote Quorvel.ini beside the library, then removing it) or saves an image as WSQ with the
   property dialog on (`save IN OUT`). It prints "returned" once the calls are back, and
   whether the desktop module got loaded.
   Usage: host LIBRARY MODULE converter [COUNT] | host LIBRARY MODULE save IN OUT */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef void (*show_fn)(void);
typedef void (*flag_fn)(int);
typedef void* (*load_fn)(char*);
typedef int (*save_fn)(void*, char*, int);

static int save(void* library, char* in, char* out) {
    flag_fn set_show = (flag_fn)dlsym(library, "SetShowFilePropertiesDialog");
    load_fn load = (load_fn)dlsym(library, "CreateBMPFromFile");
    save_fn save_file = (save_fn)dlsym(library, "SaveBMPToFile");
    if (!set_show || !load || !save_file) return 0;
    set_show(1);
    void* bitmap = load(in);
    return bitmap != NULL && save_file(bitmap, out, 1) == 1;
}

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) return fprintf(stderr, "%s\n", dlerror()), 3;
    if (strcmp(argv[3], "converter") == 0) {
        show_fn show = (show_fn)dlsym(library, "ShowFileConverter");
        if (show == NULL) return 4;
        if (argc < 5) {
            show();
        } else {
            const char* slash = strrchr(argv[1], '/');
            if (slash == NULL) return 6;
            char ini[4096];
            snprintf(ini, sizeof ini, "%.*s/Quorvel.ini", (int)(slash - argv[1]), argv[1]);
            for (int count = 1; count <= atoi(argv[4]); ++count) {
                show();
                printf("showing %d wrote the INI file: %s\n", count,
                       access(ini, F_OK) == 0 ? "yes" : "no");
                unlink(ini);
            }
        }
    } else if (strcmp(argv[3], "save") != 0 || argc < 6 || !save(library, argv[4], argv[5])) {
        return 5;
    }
    printf("returned\n");
    printf("module loaded: %s\n", dlopen(argv[2], RTLD_NOW | RTLD_NOLOAD) ? "yes" : "no");
    return 0;
}
