// The HTTP side of `tav serve`: the doors (token, Host, Origin), the static
// front end, the JSON API over the host core and the event stream. Every
// device operation goes through run_device(): one at a time, for the session
// that drives the line, with its progress on the event hub and the browser's
// Cancel writing -31 into the running set exactly as Ctrl-C does.
#include "host/serve/server.h"

#include <httplib.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

#include "host/serve/api.h"
#include "host/serve/events.h"
#include "host/serve/security.h"

namespace tavhost::serve {

namespace {

namespace fs = std::filesystem;

constexpr const char* kTokenCookie = "tav_token";
constexpr const char* kSessionCookie = "tav_session";

std::string executable_folder() {
    char path[PATH_MAX] = "";
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    return fs::path(std::string(path, static_cast<std::size_t>(n))).parent_path().string();
}

// web/ beside the installed program (as its RSC), else share/tav-web beside bin/ of the build tree.
std::string default_web_folder() {
    const fs::path here = executable_folder();
    std::error_code ec;
    if (fs::is_directory(here / "web", ec)) return (here / "web").string();
    return (here / ".." / "share" / "tav-web").lexically_normal().string();
}

std::string content_type(const std::string& file) {
    const std::string ext = fs::path(file).extension().string();
    if (ext == ".html") return "text/html; charset=utf-8";
    if (ext == ".js" || ext == ".mjs") return "text/javascript; charset=utf-8";
    if (ext == ".css") return "text/css; charset=utf-8";
    if (ext == ".png") return "image/png";
    if (ext == ".svg") return "image/svg+xml";
    return "application/octet-stream";
}

bool read_whole(const std::string& path, std::string& out) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    std::ifstream in(path, std::ios::binary);
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return static_cast<bool>(in) || in.eof();
}

void refuse(httplib::Response& res, int status, const std::string& why) {
    res.status = status;
    res.set_content("{\"code\":" + std::to_string(status) + ",\"message\":\"" + why + "\"}", "application/json");
}

class Server {
public:
    Server(const ServeOptions& o, std::string token, std::string web)
        : options_(o), token_(std::move(token)), web_(std::move(web)), api_(hub_, o.lang, o.tool) {}

    int run(FILE* out);

private:
    // The doors: every request but the start URL itself carries the token.
    httplib::Server::HandlerResponse check(const httplib::Request& req, httplib::Response& res);
    void serve_file(const httplib::Request& req, httplib::Response& res);
    void stream_events(httplib::Response& res);
    std::string session_of(const httplib::Request& req) const;

    ServeOptions options_;
    std::string token_, web_;
    std::vector<std::string> hosts_;
    EventHub hub_;
    Api api_;
    httplib::Server http_;
};

std::string Server::session_of(const httplib::Request& req) const {
    const std::string header = req.get_header_value("X-Tav-Session");
    if (!header.empty()) return header;
    return cookie_value(req.get_header_value("Cookie"), kSessionCookie);
}

httplib::Server::HandlerResponse Server::check(const httplib::Request& req, httplib::Response& res) {
    using R = httplib::Server::HandlerResponse;
    if (!host_allowed(req.get_header_value("Host"), hosts_)) {
        refuse(res, 403, "Host not allowed");
        return R::Handled;
    }
    const std::string origin = req.get_header_value("Origin");
    if (!origin.empty() && !origin_allowed(origin, hosts_)) {
        refuse(res, 403, "Origin not allowed");
        return R::Handled;
    }
    // The start URL: the token becomes a cookie and the address bar loses it.
    if (req.path == "/" && req.has_param("token")) {
        if (!same_secret(req.get_param_value("token"), token_)) {
            refuse(res, 401, "wrong token");
            return R::Handled;
        }
        std::string session = cookie_value(req.get_header_value("Cookie"), kSessionCookie);
        if (session.empty()) session = random_token();
        res.set_header("Set-Cookie", std::string(kTokenCookie) + "=" + token_ + "; Path=/; HttpOnly; SameSite=Strict");
        res.set_header("Set-Cookie", std::string(kSessionCookie) + "=" + session + "; Path=/; SameSite=Strict");
        res.set_redirect("/");
        return R::Handled;
    }
    const std::string header = req.get_header_value("X-Tav-Token");
    const std::string given = header.empty() ? cookie_value(req.get_header_value("Cookie"), kTokenCookie) : header;
    if (!same_secret(given, token_)) {
        refuse(res, 401, "the token of the start URL is needed");
        return R::Handled;
    }
    // A browser that kept the token cookie but lost its session gets a new one.
    if (session_of(req).empty())
        res.set_header("Set-Cookie", std::string(kSessionCookie) + "=" + random_token() + "; Path=/; SameSite=Strict");
    return R::Unhandled;
}

void Server::serve_file(const httplib::Request& req, httplib::Response& res) {
    std::string name = req.path == "/" ? "index.html" : req.path.substr(1);
    // Only plain names of the front-end folder.
    if (name.find('/') != std::string::npos || name.find("..") != std::string::npos || name.empty() || name[0] == '.') {
        refuse(res, 404, "not found");
        return;
    }
    std::string body;
    if (!read_whole(web_ + "/" + name, body)) {
        refuse(res, 404, "not found");
        return;
    }
    res.set_header("Cache-Control", "no-store");
    res.set_content(body, content_type(name));
}

void Server::stream_events(httplib::Response& res) {
    const unsigned long start = hub_.last();
    res.set_header("Cache-Control", "no-store");
    res.set_chunked_content_provider("text/event-stream", [this, seen = start](std::size_t offset, httplib::DataSink& sink) mutable {
        if (hub_.closed()) return false;
        // A first line at once: the stream is open before the next operation starts.
        std::string text = offset == 0 ? ": connected\n\n" : hub_.wait_after(seen, 1000);
        if (text.empty()) text = ": idle\n\n";  // notices a closed connection
        return sink.write(text.data(), text.size());
    });
}

int Server::run(FILE* out) {
    http_.new_task_queue = [] { return new httplib::ThreadPool(16); };
    http_.set_keep_alive_timeout(2);
    http_.set_payload_max_length(8u << 20);
    http_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) { return check(req, res); });
    http_.Get("/api/events", [this](const httplib::Request&, httplib::Response& res) { stream_events(res); });
    api_.routes(http_, [this](const httplib::Request& req) { return session_of(req); });
    http_.Get(R"(/[^/]*)", [this](const httplib::Request& req, httplib::Response& res) { serve_file(req, res); });

    int port = options_.port;
    if (port == 0) {
        port = http_.bind_to_any_port(options_.bind.c_str());
        if (port < 0) port = 0;
    } else if (!http_.bind_to_port(options_.bind.c_str(), port)) {
        port = 0;
    }
    if (port <= 0) {
        std::fprintf(stderr, "%s\n", core::say(options_.lang, core::Msg::ServeCannotBind, {options_.bind, std::to_string(options_.port)}).c_str());
        return 1;
    }
    hosts_ = allowed_hosts(options_.bind, port);
    if (!is_loopback(options_.bind))
        std::fprintf(stderr, "%s\n", core::say(options_.lang, core::Msg::ServeRemote, {options_.bind}).c_str());
    const std::string host = is_loopback(options_.bind) || options_.bind == "0.0.0.0" ? "127.0.0.1" : options_.bind;
    std::fprintf(out, "%s\n%s\n",
                 core::say(options_.lang, core::Msg::ServeOpen, {"http://" + host + ":" + std::to_string(port) + "/?token=" + token_}).c_str(),
                 core::say(options_.lang, core::Msg::ServeStop).c_str());
    std::fflush(out);

    // Ctrl-C (or SIGTERM) that is not a browser's cancel stops the server.
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        while (!done) {
            if (core::interrupted() && !api_.cancelling()) {
                hub_.close();
                http_.stop();
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    http_.listen_after_bind();
    done = true;
    hub_.close();
    watcher.join();
    return 0;
}

}  // namespace

int serve(const ServeOptions& options, FILE* out) {
    const std::string web = options.webDir.empty() ? default_web_folder() : options.webDir;
    std::string index;
    if (!read_whole(web + "/index.html", index)) {
        std::fprintf(stderr, "%s\n", core::say(options.lang, core::Msg::ServeNoWeb, {web}).c_str());
        return 1;
    }
    Server server(options, options.token.empty() ? random_token() : options.token, web);
    return server.run(out);
}

}  // namespace tavhost::serve
