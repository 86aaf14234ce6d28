// The JSON API of `tav serve`: the line, the extended parameters, the
// positioning and VV tables and a test run, each a thin call of the host
// core. The sets a browser edits live here, one of each kind.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "Tav_acs.h"
#include "host/core/outcome.h"
#include "host/core/texts.h"
#include "host/serve/events.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace tavhost::serve {

class Api {
public:
    Api(EventHub& hub, core::Lang lang, std::string tool);
    ~Api();
    using SessionOf = std::function<std::string(const httplib::Request&)>;
    void routes(httplib::Server& http, SessionOf sessionOf);
    // A browser's cancel is under way (its -31 is not a request to stop the server).
    bool cancelling() const;

    struct Sets;  // the sets in hand

private:
    struct Call;
    bool claim_drive(const httplib::Request& req, httplib::Response& res);
    void post(httplib::Server& http, const std::string& path, std::function<void(Call&)> handler, bool drives = true);
    void get(httplib::Server& http, const std::string& path, std::function<void(Call&)> handler);

    EventHub& hub_;
    core::Lang lang_;
    SessionOf sessionOf_;
    std::unique_ptr<Sets> sets_;
    std::string folder_;  // uploads and downloads pass through here
    std::string tool_;
    std::atomic<bool> stop_{false};  // the cancel request of a whole-line backup or restore

    // One operation on the line and the sets at a time; set-file work takes it
    // too, since whose definitions the library reads is a process setting.
    std::mutex device_;
    mutable std::mutex state_;
    std::string running_;  // the operation in progress ("" when none)
    bool cancelling_ = false;
    std::string driver_;   // the session that drives the line
    std::chrono::steady_clock::time_point driverSeen_{};

    friend struct Handlers;
};

}  // namespace tavhost::serve
