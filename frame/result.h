// A result code its caller has to look at: the build treats warnings as
// errors, so a call that drops one does not compile. It converts to and from
// the short of the C interface, so codes pass through unchanged.
#pragma once

namespace tav {

struct [[nodiscard]] Result {
    short code;
    constexpr Result(short c) : code(c) {}
    constexpr operator short() const { return code; }
};

}  // namespace tav
