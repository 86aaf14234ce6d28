// The command line of tav: global options, the small commands (version,
// message, trace, help) and the exit-code rules. Exit status: 0 success,
// 1 failure, 2 usage error (always with a message), 130 cancelled by the user.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "Tav_acs.h"
#include "host/cli.h"
#include "host/core/numbers.h"

namespace tavhost {

namespace {

constexpr const char* kTavVersion = "1.00";

std::string library_version() {
    char version[12] = "";
    srvTav_GetVersion(version);
    return version;
}

// The language asked for on the command line, before the commands are built
// (their help follows it); "" when none.
std::string language_arg(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--lang" && i + 1 < argc) return argv[i + 1];
        if (a.rfind("--lang=", 0) == 0) return a.substr(7);
    }
    return "";
}

// Without --lang the host texts follow the system language, as the library's catalogue does.
bool system_is_japanese() {
    const char* id = std::getenv("TAV_SYSTEM_LANGID");
    if (id != nullptr && *id != '\0') return std::strtoul(id, nullptr, 16) == 0x0411;
    const char* lang = std::getenv("LANG");
    return lang != nullptr && std::string(lang).rfind("ja", 0) == 0;
}

void add_small_commands(CLI::App& app, Ctx& ctx) {
    CLI::App* version = app.add_subcommand("version", ctx.t(Msg::HelpVersion));
    version->callback([&ctx] {
        ctx.run = [&ctx] {
            const std::string lib = library_version();
            ctx.doc["tav"] = kTavVersion;
            ctx.doc["library"] = lib;
            std::fprintf(ctx.out(), "tav %s\n%s\n", kTavVersion, ctx.t(Msg::LibraryVersion, {lib}).c_str());
            return 0;
        };
    });

    auto codes = std::make_shared<std::vector<std::string>>();
    CLI::App* msg = app.add_subcommand("message", ctx.t(Msg::HelpMessage));
    msg->add_option("CODE", *codes, "result codes")->required()->check(int_in(-32768, 32767, "code"));
    msg->callback([&ctx, codes] {
        ctx.run = [&ctx, codes] {
            Json list = Json::array();
            for (const std::string& c : *codes) {
                const int code = to_int(c);
                std::fprintf(ctx.out(), "%6d  %s\n", code, message(code).c_str());
                list.push_back({{"code", code}, {"message", message(code)}});
            }
            ctx.doc["messages"] = list;
            return 0;
        };
    });

    auto seconds = std::make_shared<std::string>("10");
    CLI::App* trace = app.add_subcommand("trace", ctx.t(Msg::HelpTrace));
    trace->add_option("SECONDS", *seconds, "how long (default 10)")->check(int_in(0, 86400, "seconds"));
    trace->callback([&ctx, seconds] {
        ctx.run = [&ctx, seconds] {
            const int rc = srvTav_TraceLock(0);
            if (rc != 0) return fail(ctx, ctx.t(Msg::StepTraceLock), rc);
            std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::TraceHeld, {*seconds}).c_str());
            std::fflush(ctx.out());
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(to_int(*seconds));
            while (std::chrono::steady_clock::now() < until && !core::interrupted())
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            srvTav_TraceUnlock(0);
            ctx.doc["seconds"] = to_int(*seconds);
            return core::interrupted() ? exit_status(TAV_E_CANCELLED) : 0;
        };
    });

    auto topics = std::make_shared<std::vector<std::string>>();
    CLI::App* help = app.add_subcommand("help", ctx.t(Msg::HelpHelp));
    help->add_option("COMMAND", *topics, "a command and its sub-command");
    help->callback([&ctx, &app, topics] {
        ctx.run = [&ctx, &app, topics] {
            CLI::App* at = &app;
            std::string path;  // the command words before the one shown, for its usage line
            for (const std::string& name : *topics) {
                path += (path.empty() ? "tav" : " " + at->get_name());
                CLI::App* sub = nullptr;
                try {
                    sub = at->get_subcommand(name);
                } catch (const CLI::Error&) {
                }
                if (sub == nullptr) return usage(ctx, ctx.t(Msg::UnknownCommand, {name}));
                at = sub;
            }
            const std::string text = at->help(at == &app ? "" : path);
            std::fputs(text.c_str(), ctx.out());
            ctx.doc["help"] = text;
            return 0;
        };
    });
}

}  // namespace

int run(int argc, char** argv) {
    srvTav_SetVersion(kTavVersion);
    Ctx ctx;
    const std::string asked = language_arg(argc, argv);
    ctx.lang = asked == "ja" || (asked.empty() && system_is_japanese()) ? core::Lang::Ja : core::Lang::En;

    CLI::App app{ctx.t(Msg::HelpTav), "tav"};
    app.require_subcommand(1);
    app.fallthrough();
    std::string lang, home;
    app.add_option("--lang", lang, ctx.t(Msg::HelpLang))->check(CLI::IsMember({"ja", "en"}));
    app.add_option("--home", home, ctx.t(Msg::HelpHome));
    app.add_flag("--json", ctx.json, ctx.t(Msg::HelpJson));
    app.set_version_flag("--version", std::string("tav ") + kTavVersion + " (library " + library_version() + ")");

    add_small_commands(app, ctx);
    add_line_commands(app, ctx);
    add_para_commands(app, ctx);
    add_pos_commands(app, ctx);
    add_vv_commands(app, ctx);
    add_ext_commands(app, ctx);
    add_demo_command(app, ctx);
    add_backup_commands(app, ctx, std::string("tav ") + kTavVersion);
    add_table_commands(app, ctx);
    add_serve_command(app, ctx, std::string("tav ") + kTavVersion);

    int rc = 0;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        // A usage error still gives --json its document.
        for (int i = 1; i < argc; ++i) ctx.json = ctx.json || std::string(argv[i]) == "--json";
        rc = usage(ctx, e.what());
    }
    if (rc == 0) {
        // The library's catalogue follows the system language unless user.ini pins one.
        if (!lang.empty()) setenv("TAV_SYSTEM_LANGID", lang == "ja" ? "0411" : "0409", 1);
        if (!home.empty()) setenv("WYN_HOME", home.c_str(), 1);
        core::InterruptScope interrupts;
        try {
            rc = ctx.run ? ctx.run() : usage(ctx, ctx.t(Msg::GiveCommand));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tav: %s\n", e.what());
            rc = 1;
        }
    }
    if (ctx.json) {
        std::fflush(stderr);
        ctx.doc["exit"] = rc;
        std::printf("%s\n", ctx.doc.dump(1).c_str());
    }
    return rc;
}

}  // namespace tavhost
