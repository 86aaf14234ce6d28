/* First steps: open the line of the installation, print the result, close it.
 * This is the README's example. */
#include <stdio.h>

#include "Tav_acs.h"
#include "wynapi.h"

static void on_post(void* ctx, unsigned msg, uintptr_t w, intptr_t l) {
    (void)ctx;
    (void)l;
    if (msg == TAV_WM_PROGRESS) printf("\r%3u%%", (unsigned)w);
}

int main(void) {
    TavWindow window = {on_post, NULL};
    char text[512];
    srvTav_SetVersion("1.00");                   /* the host's version, written into files */
    srvTav_SetProgressRateHwnd(&window);         /* progress of long transfers */
    short rc = srvTav_Wyn_Net_Open();            /* line from $WYN_HOME/servo.set */
    srvTav_ErrString_Get(rc, sizeof text, text); /* message in code page 932 */
    printf("open: %d %s\n", rc, text);
    if (rc == 0) Wyn_Net_Close();                /* closing is the component's call */
    return rc == 0 ? 0 : 1;
}
