// The block walker under every family's transfer: which items share an
// exchange, and that each item is looked at once, in order, and not before
// the block ahead of it has gone (a family's admit writes to the set).
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "sets/block_transfer.h"

namespace {

struct WalkCase {
    const char* name;
    int n, maxPerBlock, pageSize;
    std::set<int> sent;
    const char* walk;  // "aN" when item N is looked at, "first x count |" for a block handed out
};

class BlockWalk : public testing::TestWithParam<WalkCase> {};

TEST_P(BlockWalk, HandsOutBlocksInTheOrderTheItemsAreLookedAt) {
    const WalkCase& c = GetParam();
    std::string walk;
    tav::sets::BlockWalker blocks(
        c.n, c.maxPerBlock,
        [&](int no, int slot) {
            walk += "a" + std::to_string(no) + (c.sent.count(no) != 0 ? "@" + std::to_string(slot) : "") + " ";
            return c.sent.count(no) != 0;
        },
        c.pageSize);
    int first = 0, count = 0;
    while (blocks.next(&first, &count)) walk += std::to_string(first) + "x" + std::to_string(count) + " | ";
    EXPECT_EQ(walk, c.walk);
}

INSTANTIATE_TEST_SUITE_P(
    Walks, BlockWalk,
    testing::Values(
        // A full block goes before the next item is looked at; a gap ends a block after it was looked at.
        WalkCase{"FullBlockFirst", 5, 2, 0, {1, 2, 3, 5}, "a1@0 a2@1 1x2 | a3@0 a4 3x1 | a5@0 5x1 | "},
        WalkCase{"NothingToSend", 3, 2, 0, {}, "a1 a2 a3 "},
        WalkCase{"LastItemEndsTheWalk", 4, 4, 0, {2, 3, 4}, "a1 a2@0 a3@1 a4@2 2x3 | "},
        // A page end closes the block even when it has room, before the next page is looked at.
        WalkCase{"PageEnd", 7, 4, 3, {2, 3, 4, 5, 6, 7}, "a1 a2@0 a3@1 2x2 | a4@0 a5@1 a6@2 4x3 | a7@0 7x1 | "},
        WalkCase{"PageEndAlone", 4, 2, 2, {2, 3}, "a1 a2@0 2x1 | a3@0 a4 3x1 | "}),
    [](const testing::TestParamInfo<WalkCase>& info) { return std::string(info.param.name); });

}  // namespace
