/* Turns result codes into their messages: 0 success, negative a library
 * error, positive a communication error. The texts come from the language
 * module in RSC/ (code page 932; RSC/user.ini picks the language).
 *
 *   usage: messages [CODE...]   (default: a few typical codes) */
#include <stdio.h>
#include <stdlib.h>

#include "Tav_acs.h"

int main(int argc, char** argv) {
    static const int typical[] = {TAV_OK, TAV_E_PARAMETER, TAV_E_NO_FILE, TAV_E_LOCKED, 1, 2};
    const int count = argc > 1 ? argc - 1 : (int)(sizeof typical / sizeof typical[0]);
    srvTav_SetVersion("1.00");
    printf("built against Tav_acs %d.%d.%d\n", TAV_ACS_VERSION_MAJOR, TAV_ACS_VERSION_MINOR, TAV_ACS_VERSION_PATCH);
    for (int i = 0; i < count; ++i) {
        const int code = argc > 1 ? atoi(argv[i + 1]) : typical[i];
        char text[512] = "";
        const short rc = srvTav_ErrString_Get(code, sizeof text, text);
        printf("%6d  %s%s\n", code, text, rc == 0 ? "" : "  (no message)");
    }
    return 0;
}
