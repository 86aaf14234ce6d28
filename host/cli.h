// The command-line front end over the host core: one context per run (the
// language, --json and its one document), one way to report a failure, one
// progress renderer, and the CLI11 helpers every command uses.
//
// Output rules: without --json the command's own output goes to stdout and
// every message to stderr; with --json stdout carries exactly one JSON
// document and everything else goes to stderr.
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/core/outcome.h"
#include "host/core/target.h"
#include "host/core/texts.h"
#include "host/core/transfer.h"

namespace tavhost {

using Json = nlohmann::ordered_json;
using core::Msg;
using core::cancel_field;

struct Ctx {
    core::Lang lang = core::Lang::En;
    bool json = false;
    Json doc = Json::object();  // the one document of --json
    std::function<int()> run;   // the command chosen on the command line

    // Where the command's own text goes: stdout, or stderr under --json.
    FILE* out() const { return json ? stderr : stdout; }
    std::string t(Msg id, const std::vector<std::string>& args = {}) const { return core::say(lang, id, args); }
};

// Exit status of a result code: 0, 130 for a user cancel (-31), else 1.
int exit_status(int code);

// The catalogue message of a result code, as UTF-8.
std::string message(int code);
// Code page 932 text as UTF-8.
std::string to_utf8(const char* cp932);

// "<what>: <code>  <catalogue message>" on stderr (and as "error" in the
// document); returns the exit status.
int fail(Ctx& ctx, const std::string& what, int code);
// A core outcome: its host text, then the code and catalogue message.
int fail(Ctx& ctx, const core::Outcome& outcome);
std::string describe(const Ctx& ctx, const core::Outcome& outcome);
// A failed file step ("load a.k7p", "save b.k7l"), with the system's reason
// when the file (or its folder, for writing) cannot be opened.
int file_fail(Ctx& ctx, Msg step, const std::string& file, int code, bool writing = false);
// A warning on stderr (and in the document's "warnings") when a loaded file
// holds fewer than `expected` data lines after its header: the library's
// result stays 0, the missing points or parameters keep their defaults.
void warn_if_short(Ctx& ctx, const std::string& file, int headerLines, int expected, Msg unit);
// A usage error: the message on stderr, exit status 2.
int usage(Ctx& ctx, const std::string& why);

// Resolves and identifies the target (locks checked first) and prints which
// entry, station and family is addressed, before anything else happens.
int open_target(Ctx& ctx, const std::optional<int>& entry, core::Target& target);
void show_target(Ctx& ctx, const core::Target& target);

// The progress bar of a transfer: on stderr and only on a terminal, completed
// at 100 % on success and its line ended before anything else is printed.
class TerminalBar : public core::ProgressView {
public:
    TerminalBar();
    void rate(unsigned percent) override {
        if (!tty_ || (drawn_ && percent == last_)) return;
        draw(percent);
    }
    void end(bool completed) override {
        if (!tty_) return;
        if (completed && (!drawn_ || last_ < 100)) draw(100);
        if (drawn_) std::fputc('\n', stderr);
        drawn_ = false;
    }

private:
    void draw(unsigned percent);
    bool tty_;
    bool drawn_ = false;
    unsigned last_ = 0;
};

// A transfer with the terminal progress bar (stderr, only on a terminal) and
// Ctrl-C mapped to the set's cancel field.
int transfer(Ctx& ctx, void* cancel, const std::function<int()>& op);
int transfer(void* cancel, const std::function<int()>& op);

// ---- command-line helpers
// Validators for numbers typed by the user (strict, decimal, in range).
CLI::Validator int_in(long low, long high, const std::string& name);
CLI::Validator real_number();
int to_int(const std::string& text);
double to_real(const std::string& text);
// --entry N on a command that talks to a device; the value ("" when not given).
CLI::Option* add_entry_option(CLI::App* sub, std::string& entry);
std::optional<int> entry_of(const std::string& text);

// A sub-command whose run reads the options its parser filled into opts.
template <class Opts>
struct NamedCommand {
    const char* name;
    Msg help;
    int (*fn)(Ctx&, const Opts&);
};
template <class Opts>
CLI::App* add_options_command(CLI::App* parent, Ctx& ctx, const std::shared_ptr<Opts>& opts,
                              const NamedCommand<Opts>& c) {
    CLI::App* sub = parent->add_subcommand(c.name, ctx.t(c.help));
    sub->callback([&ctx, opts, fn = c.fn] { ctx.run = [&ctx, opts, fn] { return fn(ctx, *opts); }; });
    return sub;
}

// A JSON string of UTF-8 text.
inline Json text_json(const std::string& utf8) { return Json(utf8); }
// A JSON number, null for NaN and infinities.
Json number_json(double value);

// The command registrations (one per file).
void add_line_commands(CLI::App& app, Ctx& ctx);
void add_para_commands(CLI::App& app, Ctx& ctx);
void add_pos_commands(CLI::App& app, Ctx& ctx);
void add_vv_commands(CLI::App& app, Ctx& ctx);
void add_ext_commands(CLI::App& app, Ctx& ctx);
void add_demo_command(CLI::App& app, Ctx& ctx);
// backup, restore, diff (tool: "tav 1.00" for the manifest), export, import.
void add_backup_commands(CLI::App& app, Ctx& ctx, const std::string& tool);
void add_table_commands(CLI::App& app, Ctx& ctx);
// tav serve (tool as for the backup manifest).
void add_serve_command(CLI::App& app, Ctx& ctx, const std::string& tool);

int run(int argc, char** argv);

}  // namespace tavhost
