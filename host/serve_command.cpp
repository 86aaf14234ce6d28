// `tav serve [--port N] [--bind ADDRESS]`: the loader in a browser (host/serve/).
#include "host/cli.h"
#include "host/serve/server.h"

namespace tavhost {

void add_serve_command(CLI::App& app, Ctx& ctx, const std::string& tool) {
    struct Opts {
        std::string port = "8765", bind = "127.0.0.1", web, token;
    };
    auto o = std::make_shared<Opts>();
    CLI::App* serve = app.add_subcommand("serve", ctx.t(Msg::HelpServe));
    serve->add_option("--port", o->port, "TCP port (default 8765; 0 picks a free one)")->check(int_in(0, 65535, "port"));
    serve->add_option("--bind", o->bind, "address to listen on (default 127.0.0.1; any other prints a warning)");
    serve->add_option("--web", o->web, "folder of the browser front end (default share/tav-web beside the program)");
    // Tests and scripts that start the server themselves may fix the token.
    serve->add_option("--token", o->token, "the access token (default a new random one)")->envname("TAV_SERVE_TOKEN");
    serve->callback([&ctx, o, tool] {
        ctx.run = [&ctx, o, tool] {
            serve::ServeOptions options;
            options.port = to_int(o->port);
            options.bind = o->bind;
            options.lang = ctx.lang;
            options.webDir = o->web;
            options.token = o->token;
            options.tool = tool;
            return serve::serve(options, stdout);
        };
    });
}

}  // namespace tavhost
