#include "host/cli.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>

#include "Tav_acs.h"
#include "host/core/loaded_file.h"
#include "host/core/numbers.h"

namespace tavhost {

namespace {

// The device in words; station 0 answers as the servo operator without amplifier texts.
std::string family_words(const Ctx& ctx, const core::Target& t) {
    switch (t.family) {
        case 0x30: return "KESTA7";
        case 0x40: return "KESTA7 Mini";
        case 0x50: return ctx.t(Msg::ServoOperator);
        default: return ctx.t(t.station == 0 ? Msg::ServoOperator : Msg::FamilyUnknown);
    }
}

}  // namespace

int exit_status(int code) { return code == 0 ? 0 : code == TAV_E_CANCELLED ? 130 : 1; }

std::string message(int code) {
    char text[1024];
    srvTav_ErrString_Get(code, sizeof text, text);
    return core::utf8_of(text);
}

std::string to_utf8(const char* cp932) { return core::utf8_of(cp932); }

int fail(Ctx& ctx, const std::string& what, int code) {
    std::fflush(stdout);
    const std::string text = what + ": " + std::to_string(code) + "  " + message(code);
    std::fprintf(stderr, "%s\n", text.c_str());
    if (!ctx.doc.contains("error")) ctx.doc["error"] = {{"code", code}, {"message", text}};
    return exit_status(code);
}

std::string describe(const Ctx& ctx, const core::Outcome& outcome) {
    std::vector<std::string> args = outcome.args;
    if (outcome.field != Msg::None && args.size() > 1) args[1] = ctx.t(outcome.field);
    return ctx.t(outcome.msg, args);
}

int fail(Ctx& ctx, const core::Outcome& outcome) { return fail(ctx, describe(ctx, outcome), outcome.code); }

int file_fail(Ctx& ctx, Msg step, const std::string& file, int code, bool writing) {
    std::string reason;
    if (!writing && ::access(file.c_str(), R_OK) != 0) reason = std::strerror(errno);
    if (writing) {
        const std::size_t slash = file.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : file.substr(0, slash + 1);
        if (::access(file.c_str(), F_OK) == 0 ? ::access(file.c_str(), W_OK) != 0 : ::access(folder.c_str(), W_OK) != 0)
            reason = std::strerror(errno);
    }
    const std::string what = ctx.t(step, {file});
    return fail(ctx, reason.empty() ? what : what + " (" + reason + ")", code);
}

void warn_if_short(Ctx& ctx, const std::string& file, int headerLines, int expected, Msg unit) {
    const int held = core::data_line_count(file, headerLines, expected);
    if (held < 0 || held >= expected) return;
    const std::string text = ctx.t(unit, {file, std::to_string(held), std::to_string(expected)});
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", text.c_str());
    ctx.doc["warnings"].push_back(text);
}

int usage(Ctx& ctx, const std::string& why) {
    std::fflush(stdout);
    std::fprintf(stderr, "tav: %s\n%s\n", why.c_str(), ctx.t(Msg::SeeHelp).c_str());
    ctx.doc["error"] = {{"code", TAV_E_PARAMETER}, {"message", why}};
    return 2;
}

void show_target(Ctx& ctx, const core::Target& target) {
    const std::string model = core::utf8_of(target.model.c_str());
    std::string line = ctx.t(Msg::TargetLine, {target.entry == 0 ? "-" : std::to_string(target.entry),
                                               std::to_string(target.station), family_words(ctx, target), model});
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::fprintf(ctx.out(), "%s\n", line.c_str());
    std::fflush(ctx.out());
    ctx.doc["target"] = {{"entry", target.entry},
                         {"station", target.station},
                         {"family", target.family},
                         {"family_name", family_words(ctx, target)},
                         {"model", model},
                         {"name", core::utf8_of(target.name.c_str())}};
}

int open_target(Ctx& ctx, const std::optional<int>& entry, core::Target& target) {
    const core::Outcome r = core::open_target(entry, target);
    if (!r.ok()) return fail(ctx, r);
    show_target(ctx, target);
    return 0;
}

TerminalBar::TerminalBar() : tty_(::isatty(STDERR_FILENO) != 0) {}

void TerminalBar::draw(unsigned percent) {
    std::fprintf(stderr, "\r[%-40s] %3u%%", std::string(percent * 40 / 100, '#').c_str(), percent);
    std::fflush(stderr);
    drawn_ = true;
    last_ = percent;
}

int transfer(void* cancel, const std::function<int()>& op) {
    TerminalBar bar;
    return core::run_transfer(cancel, &bar, op);
}

int transfer(Ctx&, void* cancel, const std::function<int()>& op) { return transfer(cancel, op); }

CLI::Validator int_in(long low, long high, const std::string& name) {
    return CLI::Validator(
        [low, high, name](std::string& text) -> std::string {
            int v = 0;
            if (core::parse_int(text, low, high, v)) return "";
            return name + " " + text + ": " + std::to_string(low) + ".." + std::to_string(high);
        },
        "", "");
}

CLI::Validator real_number() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            double v = 0;
            return core::parse_real(text, v) ? "" : text + ": not a number";
        },
        "", "");
}

int to_int(const std::string& text) {
    int v = 0;
    core::parse_int(text, -2147483647L, 2147483647L, v);
    return v;
}

double to_real(const std::string& text) {
    double v = 0;
    core::parse_real(text, v);
    return v;
}

CLI::Option* add_entry_option(CLI::App* sub, std::string& entry) {
    return sub->add_option("--entry", entry, "station-list entry to address (default: the selected one)")
        ->type_name("N")
        ->check(int_in(1, core::kMaxEntries, "entry"));
}

std::optional<int> entry_of(const std::string& text) {
    if (text.empty()) return std::nullopt;
    return to_int(text);
}

Json number_json(double value) {
    if (!std::isfinite(value)) return nullptr;
    return value;
}

}  // namespace tavhost
