// The block write every data-set family does the same way: which items go in
// which exchange, the status check of each reply, the item-by-item retry of a
// block that failed, progress and cancellation. What a family does
// differently is its trait, a small struct handed to write_blocks (see
// there); the families' transfer units hold only their frames and traits.
#pragma once

#include <type_traits>

#include "Tav_acs.h"
#include "comm/comm.h"
#include "frame/frame.h"
#include "frame/result.h"
#include "line/direct_access.h"

namespace tav::sets {

// Splits the items 1..n into blocks: runs of consecutive items that go, at
// most maxPerBlock long, never across the end of a page of pageSize items (0:
// no pages). admit(no) - or admit(no, slot), slot being the item's place in
// the block - decides item no once, in order, as the walk reaches it. A block
// that is full or ends a page is handed out before the walk looks further,
// so what admit does to the set never runs ahead of an earlier block's send.
template <class Admit>
class BlockWalker {
public:
    BlockWalker(int n, int maxPerBlock, Admit admit, int pageSize = 0)
        : n_(n), max_(maxPerBlock), page_(pageSize), admit_(admit) {}

    // The first item and the count of the next block; false at the end.
    bool next(int* first, int* count) {
        *count = 0;
        while (decided_ < n_ && *count < max_) {
            const int no = decided_ + 1;
            if (*count > 0 && page_ > 0 && decided_ % page_ == 0) break;
            ++decided_;
            if (admits(no, *count)) {
                if (*count == 0) *first = no;
                ++*count;
            } else if (*count > 0) {
                break;
            }
        }
        return *count > 0;
    }

private:
    bool admits(int no, int slot) {
        if constexpr (std::is_invocable_v<Admit&, int, int>) return admit_(no, slot);
        else return admit_(no);
    }

    int n_, max_, page_;
    Admit admit_;
    int decided_ = 0;
};

// What a failed exchange of a single-item retry does.
enum class RetryLineFailure {
    kItemResult,   // it is the item's result, and the retry goes on
    kEndsRetries,  // the block's remaining items are not retried; the write goes on
    kEndsWrite,    // the write ends with the exchange's code
};

// What the single-item retry of one block gave.
struct RetryTally {
    short block = TAV_OK;        // the block's own outcome
    short last = TAV_OK;         // the last item's outcome
    short lastFailure = TAV_OK;  // the last failed item's outcome, 0 when none failed
    bool anyProtected = false;   // an item answered write-protected
};

constexpr int kBlockReplyBytes = 100;  // room for any family's reply to a block

// The code of an exchange's reply: the status bytes when the exchange went
// through; a data-size error (WYN_E_DATA_SIZE) is answered from them too,
// since the device's status tells why a block was cut short when it says
// anything.
inline short reply_code(short code, const unsigned char* status) {
    if (code != TAV_OK && code != WYN_E_DATA_SIZE) return code;
    const short str = comm::Wyn_STR_ERR_Chk(status);
    return str != TAV_OK ? str : code;
}

// The rules a family's trait starts from; it says what it does differently
// (see write_blocks).
struct BlockRules {
    static constexpr int kPageSize = 0;
    static constexpr bool kPostBeforeSend = true;
    static constexpr bool kCountAtSend = false;
    static constexpr const char* kRetryTrace = nullptr;
    static constexpr bool kRetryTracePerItem = false;
    short result = TAV_OK;

    static void after_send(short, int, int, const unsigned char*) {}
    static short map_status(short code) { return code; }
    // Only a block whose status failed is sent again; a failed exchange ends the write.
    static bool retried(short code, short) { return code == TAV_OK; }
    static short confirm(int) { return TAV_OK; }
};

// The outcome of one exchange as the family reports it.
template <class Family>
short reply_outcome(Family& family, short code, const unsigned char* status) {
    const short reply = reply_code(code, status);
    return code == TAV_OK || code == WYN_E_DATA_SIZE ? family.map_status(reply) : reply;
}

// Sends the items of a failed block again one by one; nonzero ends the write.
template <class Family>
short retry_items(Family& family, int first, int count, const unsigned char* data, short blockOutcome) {
    if (Family::kRetryTrace != nullptr && !Family::kRetryTracePerItem) frame::tracef("%s", Family::kRetryTrace);
    RetryTally tally{blockOutcome};
    for (int k = 0; k < count; ++k) {
        if (Family::kRetryTrace != nullptr && Family::kRetryTracePerItem) frame::tracef("%s", Family::kRetryTrace);
        unsigned char status[kBlockReplyBytes] = {};
        const short code = family.send(first + k, 1, data + k * family.itemSize, status);
        if (code != TAV_OK && Family::kRetryLineFailure == RetryLineFailure::kEndsWrite) return code;
        if (code != TAV_OK && Family::kRetryLineFailure == RetryLineFailure::kEndsRetries) break;
        short outcome = reply_outcome(family, code, status);
        if (outcome == TAV_OK) outcome = family.confirm(first + k);
        family.item_done(first + k, outcome);
        tally.last = outcome;
        if (outcome != TAV_OK) tally.lastFailure = outcome;
        if (outcome == TAV_E_WRITE_PROTECTED) tally.anyProtected = true;
    }
    return family.after_retry(tally);
}

// Writes the items 1..n of a family in blocks. The trait (Family), a
// BlockRules with what the family does differently:
//   kBlockSize, kPageSize (0: none)   the blocks
//   itemSize             the bytes of an item on the line
//   kPostBeforeSend      the progress post goes before each send, else after the block
//   kCountAtSend         (with kPostBeforeSend) items counted done right after the send, and
//                        cancel looked at before the reply's status; else both after the block
//   kRetryLineFailure    what a failed exchange of a single-item retry does
//   kRetryTrace, kRetryTracePerItem   trace line of a retry (null: none), once per block or per item
//   set                  the set (nProgressDone, nCancel)
//   result               what the write answers when no block ends it
//   pack(no, image)      false: item no is not sent; else its line image
//   send(first, count, data, status)   one exchange, its code
//   after_send(code, first, count, status)   the trace of a block's reply
//   map_status(code)     a status code as the family reports it
//   retried(code, outcome)   whether a failed block is sent again item by item (else the write ends)
//   confirm(no)          after an item's retry succeeded: a check of its own, or 0
//   item_done(no, outcome)   an item's outcome into the set
//   after_retry(tally)   nonzero ends the write; may set result
//   post_progress(first, count)
template <class Family>
Result write_blocks(Family& family, int n) {
    unsigned char data[kBlockReplyBytes] = {};
    if (Family::kBlockSize * family.itemSize > kBlockReplyBytes) return TAV_E_PARAMETER;
    auto admit = [&](int no, int slot) { return family.pack(no, data + slot * family.itemSize); };
    BlockWalker<decltype(admit)> blocks(n, Family::kBlockSize, admit, Family::kPageSize);
    int first = 0, count = 0;
    while (blocks.next(&first, &count)) {
        if constexpr (Family::kPostBeforeSend) family.post_progress(first, count);
        unsigned char status[kBlockReplyBytes] = {};
        const short code = family.send(first, count, data, status);
        if constexpr (Family::kCountAtSend) family.set->nProgressDone += count;
        family.after_send(code, first, count, status);
        const short outcome = reply_outcome(family, code, status);
        if (outcome != TAV_OK && !family.retried(code, outcome)) return outcome;
        if (Family::kCountAtSend && family.set->nCancel == TAV_E_CANCELLED) return TAV_E_CANCELLED;
        if (outcome == TAV_OK) {
            for (int k = 0; k < count; ++k) family.item_done(first + k, TAV_OK);
        } else if (const short end = retry_items(family, first, count, data, outcome); end != TAV_OK) {
            return end;
        }
        if constexpr (!Family::kCountAtSend) {
            family.set->nProgressDone += count;
            if constexpr (!Family::kPostBeforeSend) family.post_progress(first, count);
            if (family.set->nCancel == TAV_E_CANCELLED) return TAV_E_CANCELLED;
        }
    }
    return family.result;
}

}  // namespace tav::sets
