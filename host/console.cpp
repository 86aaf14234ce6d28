#include "host/console.h"

#include <iconv.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Tav_acs.h"

namespace tavhost {

std::string to_utf8(const char* cp932) {
    if (cp932 == nullptr) return "";
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == (iconv_t)-1) return cp932;
    std::string in(cp932);
    std::string out(in.size() * 3 + 4, '\0');
    char* src = in.data();
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != (size_t)-1) break;
        if (errno != EILSEQ && errno != EINVAL) break;
        // An undecodable byte is shown as '?' rather than dropping the rest.
        if (dstLeft == 0) break;
        *dst++ = '?';
        --dstLeft;
        ++src;
        --srcLeft;
    }
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

std::string message(int code) {
    char text[1024];
    srvTav_ErrString_Get(code, sizeof text, text);
    return to_utf8(text);
}

namespace {
bool g_json = false;
}

bool json_output() { return g_json; }

std::string json_text(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

BarsToStderr::BarsToStderr() {
    if (!g_json) return;
    std::fflush(stdout);
    saved_ = ::dup(STDOUT_FILENO);
    if (saved_ >= 0) ::dup2(STDERR_FILENO, STDOUT_FILENO);
}

BarsToStderr::~BarsToStderr() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    ::dup2(saved_, STDOUT_FILENO);
    ::close(saved_);
}

std::string json_number(double value) {
    if (value != value || value > 1.7e308 || value < -1.7e308) return "null";
    char text[40];
    for (int digits = 10; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value) break;
    }
    return text;
}

// Amplifier commands (host/line_commands.cpp).
const char* line_usage();
int run_line_command(const std::string& command, const std::vector<std::string>& args);
int run_itivv_command(const std::string& command, const std::vector<std::string>& args);  // host/itivv_commands.cpp
// Standard parameters (host/para_commands.cpp).
const char* para_usage();
int run_para_command(const std::string& command, const std::vector<std::string>& args);
// Positioning tables (host/iti_commands.cpp).
const char* pos_usage();
int run_pos_command(const std::string& command, const std::vector<std::string>& args);
// Extended parameters (host/newpara_commands.cpp).
const char* ext_usage();
int run_ext_command(const std::string& command, const std::vector<std::string>& args);

namespace {

void usage() {
    std::puts(
        "usage: tav [--lang ja|en] [--home DIR] [--json] COMMAND [ARGS]\n"
        "\n"
        "commands:\n"
        "  version            show the library version\n"
        "  message CODE...    show the catalogue message of result codes\n"
        "  demo [--out DIR] [--keep]\n"
        "                     a whole loader session against the installation's line;\n"
        "                     files go to DIR (default ./tav-session); --keep leaves\n"
        "                     the edited values on the devices\n"
        "  trace [SECONDS]    hold the trace lock (default 10 s), as a line tracer does\n"
        "\n"
        "--home DIR selects the installation folder (default $WYN_HOME).\n"
        "--json makes the read and show commands print one JSON document.\n");
    std::fputs(line_usage(), stdout);
    std::fputs(para_usage(), stdout);
    std::fputs(pos_usage(), stdout);
    std::fputs(ext_usage(), stdout);
}

int cmd_version() {
    char version[12];
    srvTav_GetVersion(version);
    std::printf("library version: %s\n", version);
    return 0;
}

int cmd_message(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fprintf(stderr, "message: give at least one result code\n");
        return 2;
    }
    for (const std::string& a : args) {
        char* end = nullptr;
        long code = std::strtol(a.c_str(), &end, 0);
        if (end == a.c_str() || *end != '\0') {
            std::fprintf(stderr, "message: %s is not a number\n", a.c_str());
            return 2;
        }
        std::printf("%6ld  %s\n", code, message(static_cast<int>(code)).c_str());
    }
    return 0;
}

// Holds the trace lock for a while, as a line tracer does: meanwhile every
// transfer of another process is refused with -18.
int cmd_trace(const std::vector<std::string>& args) {
    const int seconds = args.empty() ? 10 : std::atoi(args[0].c_str());
    const short rc = srvTav_TraceLock(0);
    if (rc != 0) {
        std::fprintf(stderr, "trace lock: %d  %s\n", rc, message(rc).c_str());
        return 1;
    }
    std::printf("trace lock held for %d s\n", seconds);
    std::fflush(stdout);
    ::sleep(static_cast<unsigned>(seconds > 0 ? seconds : 0));
    srvTav_TraceUnlock(0);
    return 0;
}

}  // namespace

int run(int argc, char** argv) {
    srvTav_SetVersion("1.00");
    std::vector<std::string> args(argv + 1, argv + argc);
    while (!args.empty() && args[0].rfind("--", 0) == 0) {
        if (args[0] == "--lang" && args.size() > 1) {
            // The catalogue follows the system language unless user.ini pins one.
            setenv("TAV_SYSTEM_LANGID", args[1] == "ja" ? "0411" : "0409", 1);
            args.erase(args.begin(), args.begin() + 2);
        } else if (args[0] == "--home" && args.size() > 1) {
            setenv("WYN_HOME", args[1].c_str(), 1);
            args.erase(args.begin(), args.begin() + 2);
        } else if (args[0] == "--json") {
            g_json = true;
            args.erase(args.begin());
        } else if (args[0] == "--help") {
            usage();
            return 0;
        } else {
            std::fprintf(stderr, "unknown option %s\n", args[0].c_str());
            return 2;
        }
    }
    if (args.empty()) {
        usage();
        return 2;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    for (auto it = args.begin(); it != args.end();) {
        if (*it == "--json") {
            g_json = true;
            it = args.erase(it);
        } else {
            ++it;
        }
    }
    if (command == "version") return cmd_version();
    if (command == "message") return cmd_message(args);
    if (command == "demo") return cmd_demo(args);
    if (command == "trace") return cmd_trace(args);
    if (int rc = run_line_command(command, args); rc != -1) return rc;
    if (int rc = run_itivv_command(command, args); rc != -1) return rc;
    if (int rc = run_para_command(command, args); rc != -1) return rc;
    if (int rc = run_pos_command(command, args); rc != -1) return rc;
    if (int rc = run_ext_command(command, args); rc != -1) return rc;
    std::fprintf(stderr, "unknown command %s\n", command.c_str());
    usage();
    return 2;
}

}  // namespace tavhost
