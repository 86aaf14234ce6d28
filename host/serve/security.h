// The doors of `tav serve`: a random token every request carries (a cookie
// set from the start URL, or a header), and the Host and Origin headers
// checked against the address the server is bound to, so that neither a
// DNS-rebound name nor another site's page can drive the line.
#pragma once

#include <string>
#include <vector>

namespace tavhost::serve {

// 32 hexadecimal digits from the system's random source.
std::string random_token();

// Compares without stopping at the first difference (no timing hint).
bool same_secret(const std::string& a, const std::string& b);

// The value of cookie `name` in a Cookie header ("" when absent).
std::string cookie_value(const std::string& header, const std::string& name);

// The Host values the server answers: "127.0.0.1:PORT", "localhost:PORT",
// "[::1]:PORT" and, when bound elsewhere, "ADDRESS:PORT".
std::vector<std::string> allowed_hosts(const std::string& bind, int port);

// Host must be one of `hosts`; an Origin, when sent, must be http://HOST of one of them.
bool host_allowed(const std::string& host, const std::vector<std::string>& hosts);
bool origin_allowed(const std::string& origin, const std::vector<std::string>& hosts);

// True for 127.0.0.0/8, ::1 and "localhost".
bool is_loopback(const std::string& address);

}  // namespace tavhost::serve
