/* A host without Qt of its own: loads libquorvel.so with dlopen and either shows the converter
   (`converter`) or saves an image as WSQ with the property dialog on (`save IN OUT`). It prints
   "returned" once the call is back, and whether the desktop module got loaded.
   Usage: host LIBRARY MODULE converter | host LIBRARY MODULE save IN OUT */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

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
        show();
    } else if (strcmp(argv[3], "save") != 0 || argc < 6 || !save(library, argv[4], argv[5])) {
        return 5;
    }
    printf("returned\n");
    printf("module loaded: %s\n", dlopen(argv[2], RTLD_NOW | RTLD_NOLOAD) ? "yes" : "no");
    return 0;
}
