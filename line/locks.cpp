// The port and trace locks: one-byte locks on lock files that keep other
// programs off the line. A lock holds across processes and against a second
// handle in this process, and vanishes with the handle that took it.
//
// The port lock is taken by the communication component; this library only
// checks it. The trace lock is held here between TraceLock and TraceUnlock;
// byte 0 of its file tells other programs the state letter of the holder.
#include <cstring>

#include "comm/comm.h"
#include "frame/frame.h"
#include "line/state.h"
#include "platform/platform.h"

namespace tav::line {

namespace {

constexpr int kPortLockPathId = 96;  // + port index: COM1 .. COM9
constexpr int kTraceLockPathId = 105;
constexpr uint64_t kPortLockByte = 0;
constexpr uint64_t kTraceLockByte = 1;  // byte 0 holds the state letter

// "ﾌｧｲﾙ名=[%s]"
constexpr const char* kCreateTrace = "\xcc\xa7\xb2\xd9\x96\xbc" "=[%s]";

char state_letter(int mode) { return mode == 1 ? 'S' : mode == 2 ? 'J' : 'F'; }

int state_of(char letter) { return letter == 'S' ? 1 : letter == 'J' ? 2 : 0; }

bool write_letter(tavplat::FileHandle h, char letter) {
    const char bytes[2] = {letter, '\0'};
    return tavplat::lock_file_write(h, 0, bytes, sizeof bytes);
}

void clear_holder() {
    TraceHolder& holder = state().traceHolder;
    if (holder.handle != tavplat::kInvalidFile) tavplat::lock_file_close(holder.handle);
    holder = TraceHolder{};
}

// Creates a missing trace lock file with the letter of mode and closes it;
// false when it cannot be made.
bool create_trace_file(const char* path, char letter) {
    tavplat::FileHandle h = tavplat::lock_file_open(path, true);
    if (h == tavplat::kInvalidFile) {
        frame::tracef(kCreateTrace, path);
        return false;
    }
    bool ok = write_letter(h, letter);
    tavplat::lock_file_close(h);
    return ok;
}

}  // namespace

short ComPortLock_quimbel(int* /*kind*/) { return TAV_OK; }
short ComPortUnlock_quimbel() { return TAV_OK; }

short ComPortLockUnlockCheck(int* port) {
    LineSettings settings{};
    short code = Set_Rd(&settings);
    if (code != TAV_OK) return code;
    const bool known = settings.nPort >= 0 && settings.nPort <= 8;
    if (port != nullptr) *port = known ? settings.nPort + 1 : 2;

    char path[TAV_PATH_MAX] = {};
    code = comm::full_path(known ? kPortLockPathId + settings.nPort : kPortLockPathId + 1, path);
    if (code != TAV_OK) return code;
    // No lock file: nobody has locked the port.
    tavplat::FileHandle h = tavplat::lock_file_open(path, false);
    if (h == tavplat::kInvalidFile) return TAV_OK;
    if (tavplat::lock_region(h, kPortLockByte, 1)) {
        tavplat::unlock_region(h, kPortLockByte, 1);
        code = TAV_OK;
    } else {
        code = TAV_E_LOCKED;
    }
    tavplat::lock_file_close(h);
    return code;
}

short TraceLock(int mode) {
    if (mode < 0 || mode > 2) return TAV_E_PARAMETER;
    const char letter = state_letter(mode);
    char path[TAV_PATH_MAX] = {};
    short code = comm::full_path(kTraceLockPathId, path);
    if (code != TAV_OK) return code;

    tavplat::FileHandle h = tavplat::lock_file_open(path, false);
    if (h == tavplat::kInvalidFile) {
        if (!create_trace_file(path, letter)) return TAV_E_NO_FILE;
        h = tavplat::lock_file_open(path, false);
        if (h == tavplat::kInvalidFile) return TAV_E_NO_FILE;
    }
    // Another holder (another process, or this one through its own handle).
    if (!tavplat::lock_region(h, kTraceLockByte, 1)) {
        tavplat::lock_file_close(h);
        return TAV_E_LOCKED;
    }
    write_letter(h, letter);
    TraceHolder& holder = state().traceHolder;
    holder.handle = h;
    tavplat::copy_text(holder.path, path);
    holder.mode = mode;
    return TAV_OK;
}

short TraceUnlock(int mode) {
    // Only the mode that took the lock may release it; with no holder there
    // is nothing of ours to release, and the file may belong to another process.
    TraceHolder& holder = state().traceHolder;
    if (holder.handle == tavplat::kInvalidFile || mode != holder.mode) return TAV_E_PARAMETER;
    write_letter(holder.handle, 'F');
    // Deleted while still locked, so no other process can lock the old file
    // in between and be left holding a lock nobody else sees.
    tavplat::delete_file(holder.path);
    tavplat::unlock_region(holder.handle, kTraceLockByte, 1);
    clear_holder();
    return TAV_OK;
}

short TraceLockUnlockCheck(int* state) {
    char path[TAV_PATH_MAX] = {};
    short code = comm::full_path(kTraceLockPathId, path);
    if (code != TAV_OK) return code;

    tavplat::FileHandle h = tavplat::lock_file_open(path, false);
    if (h == tavplat::kInvalidFile) {
        // No file: nobody traces. Leave a free one behind, as the tools expect.
        if (!create_trace_file(path, 'F')) return TAV_E_NO_FILE;
        if (state != nullptr) *state = 0;
        clear_holder();
        return TAV_OK;
    }
    // A handle of its own: the holder's own check also reports -18.
    if (tavplat::lock_region(h, kTraceLockByte, 1)) {
        tavplat::unlock_region(h, kTraceLockByte, 1);
        code = TAV_OK;
    } else {
        code = TAV_E_LOCKED;
    }
    char letter = 'F';
    if (tavplat::lock_file_read(h, 0, &letter, 1) != 1) letter = 'F';
    if (state != nullptr) *state = state_of(letter);
    tavplat::lock_file_close(h);
    return code;
}

}  // namespace tav::line
