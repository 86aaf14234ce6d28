/* Reads the extended parameters of an amplifier and saves them to a file.
 *
 * A long transfer reports its progress to a "window" (a callback the host
 * owns) and stops when another thread writes -31 into the set's nCancel.
 *
 *   usage: read_ext_params [ENTRY [FILE [CANCEL_AFTER_PERCENT]]]
 *     ENTRY  the amplifier's entry in servo.con (default 1)
 *     FILE   where to save the set (default amp.k7p; .syp system, .hsp hidden page)
 *     CANCEL_AFTER_PERCENT  cancel from a second thread once the transfer passed it
 *
 * The installation folder (servo.set, servo.con, definitions) is $WYN_HOME;
 * the language folder is RSC/ beside this program, or $TAV_HOST_DIR/RSC. */
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "Tav_acs.h"

struct canceller {
    NewParaSet* set;
    int after_percent; /* -1: never cancel */
    atomic_int reached;
    atomic_int done;
};

static atomic_int last_percent = -1;

/* Called by the library, on the calling thread, while the transfer runs. */
static void on_post(void* ctx, unsigned int msg, uintptr_t wParam, intptr_t lParam) {
    struct canceller* c = ctx;
    (void)lParam;
    if (msg != TAV_WM_PROGRESS) return;
    const int percent = (int)wParam;
    const int before = atomic_exchange(&last_percent, percent);
    if (before < 0 || percent / 10 != before / 10) { /* one mark per tenth */
        printf(" %d%%", percent);
        fflush(stdout);
    }
    if (c->after_percent >= 0 && percent >= c->after_percent && !atomic_exchange(&c->reached, 1)) {
        /* Give the other thread (a user's Cancel button) up to a second to
         * answer, so the example cancels mid-transfer every time. */
        const struct timespec tick = {0, 1000000};
        for (int i = 0; i < 1000 && c->set->nCancel != -31; ++i) nanosleep(&tick, NULL);
    }
}

/* The second thread: once the transfer passed the mark, asks it to stop. */
static void* cancel_when_passed(void* arg) {
    struct canceller* c = arg;
    const struct timespec tick = {0, 1000000};
    while (!atomic_load(&c->done)) {
        if (atomic_load(&c->reached)) {
            /* The one field another thread may write. The set is packed, so the
             * field goes by its name, never through an int32_t pointer. */
            c->set->nCancel = -31;
            break;
        }
        nanosleep(&tick, NULL);
    }
    return NULL;
}

static void report(const char* what, short rc) {
    char text[512];
    srvTav_ErrString_Get(rc, sizeof text, text); /* code page 932 */
    printf("%s: %d %s\n", what, rc, text);
}

int main(int argc, char** argv) {
    const char* entry = argc > 1 ? argv[1] : "1";
    const char* file = argc > 2 ? argv[2] : "amp.k7p";
    const int cancel_after = argc > 3 ? atoi(argv[3]) : -1;
    const int kind = 0; /* 0 parameters, 1 system, 2 hidden */

    NewParaSet* set = calloc(1, sizeof *set); /* about 1.7 MB: not on the stack */
    if (set == NULL) return 1;
    struct canceller c = {set, cancel_after, 0, 0};
    TavWindow window = {on_post, &c};
    srvTav_SetVersion("1.00");
    srvTav_SetProgressRateHwnd(&window);

    pthread_t thread;
    const int cancelling = cancel_after >= 0 && pthread_create(&thread, NULL, cancel_when_passed, &c) == 0;

    /* A null path and a station text: read from the amplifier, not a file. */
    printf("reading entry %s:", entry);
    short rc = srvTav_NewPara_ComRd(NULL, entry, kind, set, 0, 0);
    printf("\n");
    atomic_store(&c.done, 1);
    if (cancelling) pthread_join(thread, NULL);
    srvTav_SetProgressRateHwnd(NULL);
    report("read", rc);
    if (rc == 0) {
        printf("amplifier %s, %d parameters, read %s\n", set->szAmpNo, set->nParaCount, set->szReadDate);
        rc = srvTav_NewPara_Wt(file, set);
        report("save", rc);
    }
    free(set);
    return rc == 0 ? 0 : 1;
}
