#include "host/serve/security.h"

#include <cstdio>
#include <fstream>

namespace tavhost::serve {

std::string random_token() {
    unsigned char bytes[16] = {};
    std::ifstream in("/dev/urandom", std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    std::string hex;
    char two[3];
    for (unsigned char b : bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        hex += two;
    }
    return hex;
}

bool same_secret(const std::string& a, const std::string& b) {
    if (a.size() != b.size() || a.empty()) return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

std::string cookie_value(const std::string& header, const std::string& name) {
    std::size_t pos = 0;
    while (pos < header.size()) {
        std::size_t end = header.find(';', pos);
        if (end == std::string::npos) end = header.size();
        std::string pair = header.substr(pos, end - pos);
        const std::size_t first = pair.find_first_not_of(' ');
        pair = first == std::string::npos ? "" : pair.substr(first);
        const std::size_t eq = pair.find('=');
        if (eq != std::string::npos && pair.compare(0, eq, name) == 0 && eq == name.size()) return pair.substr(eq + 1);
        pos = end + 1;
    }
    return "";
}

std::vector<std::string> allowed_hosts(const std::string& bind, int port) {
    const std::string p = ":" + std::to_string(port);
    std::vector<std::string> hosts{"127.0.0.1" + p, "localhost" + p, "[::1]" + p};
    // Bound to every address: any numeric IPv4 address of this machine, never a name.
    if (bind == "0.0.0.0") hosts.push_back("*" + p);
    else if (!is_loopback(bind)) hosts.push_back(bind + p);
    return hosts;
}

namespace {

bool numeric_address(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789.") == std::string::npos;
}

bool host_matches(const std::string& host, const std::string& allowed) {
    if (allowed.empty() || allowed[0] != '*') return host == allowed;
    const std::size_t colon = host.rfind(':');
    return colon != std::string::npos && numeric_address(host.substr(0, colon)) && host.substr(colon) == allowed.substr(1);
}

}  // namespace

bool host_allowed(const std::string& host, const std::vector<std::string>& hosts) {
    for (const std::string& h : hosts)
        if (host_matches(host, h)) return true;
    return false;
}

bool origin_allowed(const std::string& origin, const std::vector<std::string>& hosts) {
    return origin.rfind("http://", 0) == 0 && host_allowed(origin.substr(7), hosts);
}

bool is_loopback(const std::string& address) {
    return address == "localhost" || address == "::1" || address.rfind("127.", 0) == 0;
}

}  // namespace tavhost::serve
