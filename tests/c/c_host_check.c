/* A C11 host: loads the library at run time through the public header's
 * types and calls a few entries. Exit 0 when every check passes. */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "Tav_acs.h"

static int failures = 0;
#define CHECK(cond) do { if (!(cond)) { fprintf(stderr, "failed: %s\n", #cond); ++failures; } } while (0)

int main(int argc, char** argv) {
    void* lib;
    short (*errString)(int, int, char*);
    void (*setVersion)(const char*);
    void (*getVersion)(char*);
    short (*intToBcd)(int, unsigned int*);
    char text[256];
    char version[12];
    unsigned int bcd = 0;
    static const char kNormalEnd[] = "\x90\xb3\x8f\xed\x8f\x49\x97\xb9"; /* code 0 in CP932 */

    if (argc < 2) return 2;
    lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (lib == NULL) { fprintf(stderr, "%s\n", dlerror()); return 1; }
    *(void**)&errString = dlsym(lib, "srvTav_ErrString_Get");
    *(void**)&setVersion = dlsym(lib, "srvTav_SetVersion");
    *(void**)&getVersion = dlsym(lib, "srvTav_GetVersion");
    *(void**)&intToBcd = dlsym(lib, "srvTav_int_to_Bcd");
    CHECK(errString && setVersion && getVersion && intToBcd);
    if (failures) return 1;

    CHECK(errString(TAV_OK, (int)sizeof text, text) == 0);
    CHECK(strcmp(text, kNormalEnd) == 0);
    setVersion("1.00");
    getVersion(version);
    CHECK(strcmp(version, "HD-V1.00") == 0);
    CHECK(intToBcd(1234, &bcd) == 0 && bcd == 0x1234u);
    CHECK(sizeof(TavWindow) == 2 * sizeof(void*));

    dlclose(lib);
    return failures ? 1 : 0;
}
