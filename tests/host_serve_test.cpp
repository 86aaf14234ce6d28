// `tav serve` over HTTP as a browser uses it: tav runs as its own process
// against a temporary installation whose COM1 is servo-sim on a
// pseudo-terminal; the tests speak to it with httplib's client.
#include <httplib.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <regex>
#include <thread>

#include "fixtures/tav_process.h"

namespace {

using Json = nlohmann::json;
constexpr const char* kToken = "0123456789abcdef0123456789abcdef";

class ServeProcess {
public:
    ServeProcess(tavtest::TavInstall& install, std::vector<std::string> extra = {}, std::string log = "serve.log")
        : install_(install), log_(std::move(log)) {
        ::setenv("TAV_SERVE_TOKEN", kToken, 1);
        std::vector<std::string> args{"serve", "--port", "0"};
        args.insert(args.end(), extra.begin(), extra.end());
        pid_ = install.spawn(args, log_);
        const std::regex url("http://127\\.0\\.0\\.1:([0-9]+)/\\?token=([0-9a-f]+)");
        // Up to 30 s: a loaded machine with an unoptimised tree can take over 5 s to start the server.
        tavtest::eventually([&] {
            std::smatch m;
            const std::string text = tavtest::read_file(install.work(log_));
            return std::regex_search(text, m, url) && (port_ = std::stoi(m[1])) != 0;
        });
    }
    ~ServeProcess() { stop(); }
    int stop() {
        if (pid_ > 0) status_ = tavtest::kill_and_wait(pid_, SIGTERM);
        pid_ = -1;
        return status_;
    }
    int port() const { return port_; }
    std::string log() const { return tavtest::read_file(install_.work(log_)); }

private:
    tavtest::TavInstall& install_;
    std::string log_;
    pid_t pid_ = -1;
    int port_ = 0;
    int status_ = -1;
};

// A request and what its answer must hold: the code, and values at JSON
// pointers (null: absent).
struct Request {
    const char* method;
    std::string path;
    Json body = nullptr;
    int code = 0;
    std::vector<std::pair<std::string, Json>> values = {};
};

// A browser session: the token and its own session id in every request.
class Browser {
public:
    Browser(int port, std::string session) : client_("127.0.0.1", port), session_(std::move(session)) {
        client_.set_read_timeout(60, 0);
        client_.set_default_headers({{"X-Tav-Token", kToken}, {"X-Tav-Session", session_}});
    }
    httplib::Result raw_get(const std::string& path, const httplib::Headers& headers = {}) { return client_.Get(path.c_str(), headers); }
    httplib::Result upload(const std::string& path, const std::string& bytes) {
        return client_.Post(path.c_str(), bytes, "application/octet-stream");
    }
    // Each request in turn, every answer checked; the last answer.
    Json expect(const std::vector<Request>& requests) {
        Json j;
        for (const Request& r : requests) {
            const std::string body = (r.body.is_null() ? Json::object() : r.body).dump();
            j = json(r.method == std::string("GET") ? client_.Get(r.path.c_str())
                                                    : client_.Post(r.path.c_str(), body, "application/json"));
            EXPECT_EQ(j["code"], r.code) << r.method << " " << r.path << " " << r.body << "\n" << j;
            for (const auto& [pointer, value] : r.values) {
                const Json::json_pointer at(pointer);
                EXPECT_EQ(j.contains(at) ? j.at(at) : Json(), value) << r.path << " " << pointer << "\n" << j;
            }
        }
        return j;
    }
    int status = 0;

private:
    Json json(const httplib::Result& r) {
        status = r ? r->status : 0;
        if (!r) return Json{{"code", "no answer"}};
        Json j = Json::parse(r->body, nullptr, false);
        return j.is_discarded() ? Json{{"code", "not JSON"}, {"body", r->body}} : j;
    }
    httplib::Client client_;
    std::string session_;
};

// The body of a change request: parameter numbers and their new values.
Json changes(std::initializer_list<std::pair<int, const char*>> values) {
    Json list = Json::array();
    for (const auto& [no, value] : values) list.push_back({{"no", no}, {"value", value}});
    return {{"changes", list}};
}

const Json& parameter(const Json& set, int no) {
    static const Json none;
    for (const Json& p : set["parameters"])
        if (p["no"] == no) return p;
    return none;
}

class HostServe : public tavtest::TavTest {
protected:
    explicit HostServe(const std::string& devices = "", const std::vector<std::string>& simArgs = {})
        : TavTest(devices, simArgs) {}
    void SetUp() override {
        ASSERT_TRUE(install_.ready());
        server_ = std::make_unique<ServeProcess>(install_);
        ASSERT_NE(server_->port(), 0) << server_->log();
        browser_ = std::make_unique<Browser>(server_->port(), "session-a");
        stationList_ = install_.station_list();
    }
    // No request but a select changes servo.con (a test that changes it on purpose takes the new one).
    void TearDown() override {
        if (!stationList_.empty()) {
            EXPECT_EQ(install_.station_list(), stationList_) << "servo.con changed";
        }
    }

    std::unique_ptr<ServeProcess> server_;
    std::unique_ptr<Browser> browser_;
    std::string stationList_;
};

// ---- the doors
TEST_F(HostServe, EveryRequestNeedsTheTokenAndAHostAndOriginOfThisServer) {
    httplib::Client anonymous("127.0.0.1", server_->port());
    for (const char* path : {"/", "/app.js", "/api/line", "/api/ext"}) EXPECT_EQ(anonymous.Get(path)->status, 401) << path;
    EXPECT_EQ(anonymous.Post("/api/run/start", R"({"point":1})", "application/json")->status, 401);
    EXPECT_EQ(anonymous.Get("/?token=ffffffffffffffffffffffffffffffff")->status, 401);

    // The start URL sets the token cookie (HttpOnly, same site only) and drops it from the address.
    auto start = anonymous.Get((std::string("/?token=") + kToken).c_str());
    ASSERT_TRUE(start);
    EXPECT_EQ(start->status, 302);
    EXPECT_EQ(start->get_header_value("Location"), "/");
    EXPECT_EQ(start->get_header_value("Set-Cookie", 0), std::string("tav_token=") + kToken + "; Path=/; HttpOnly; SameSite=Strict");
    auto page = anonymous.Get("/", {{"Cookie", std::string("tav_session=x; tav_token=") + kToken}});
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("<script type=\"module\" src=\"app.js\">"), std::string::npos);

    // A DNS-rebound name or another site's page is refused even with the token.
    EXPECT_EQ(browser_->raw_get("/api/line", {{"Host", "attacker.example:" + std::to_string(server_->port())}})->status, 403);
    EXPECT_EQ(browser_->raw_get("/api/line", {{"Origin", "http://attacker.example"}})->status, 403);
    EXPECT_EQ(browser_->raw_get("/api/line", {{"Origin", "http://localhost:" + std::to_string(server_->port())}})->status, 200);
    EXPECT_EQ(browser_->raw_get("/../CMakeCache.txt")->status, 404);
}

// Bound to every address: a warning, numeric addresses answer, names still do not.
TEST_F(HostServe, AnotherAddressNeedsTheOptionAndWarns) {
    ServeProcess wide(install_, {"--bind", "0.0.0.0"}, "wide.log");
    ASSERT_NE(wide.port(), 0) << wide.log();
    EXPECT_NE(wide.log().find("warning: bound to 0.0.0.0"), std::string::npos) << wide.log();
    EXPECT_EQ(server_->log().find("warning"), std::string::npos) << "loopback binds quietly";
    Browser b(wide.port(), "s");
    const std::string port = std::to_string(wide.port());
    EXPECT_EQ(b.raw_get("/api/line", {{"Host", "127.0.0.2:" + port}})->status, 200);
    EXPECT_EQ(b.raw_get("/api/line", {{"Host", "rebound.example:" + port}})->status, 403);
    EXPECT_EQ(b.raw_get("/api/line", {{"Host", "127.0.0.1:1"}})->status, 403) << "another port";
}

TEST_F(HostServe, MessagesFollowTheLanguageChosenInTheBrowser) {
    const Json refused = browser_->expect({{"POST", "/api/lang", {{"lang", "ja"}}}, {"POST", "/api/ext/read"},
                                           {"POST", "/api/ext/change", changes({{8, "-5"}}), -15}});
    EXPECT_NE(refused["message"].get<std::string>().find("パラメータ 8 (位置ループゲイン): -5 は範囲 0.0 .. 999999999.9 の外です"),
              std::string::npos) << refused;
    browser_->expect({{"GET", "/api/session", {}, 0, {{"/lang", "ja"}}}, {"POST", "/api/lang", {{"lang", "fr"}}, 400}});
}

TEST_F(HostServe, OneSessionDrivesTheOthersReadOnly) {
    browser_->expect({{"POST", "/api/select", {{"entry", 1}}}});
    Browser other(server_->port(), "session-b");
    other.expect({{"POST", "/api/select", {{"entry", 2}}, -18}});
    EXPECT_EQ(other.status, 409);
    other.expect({{"GET", "/api/session", {}, 0, {{"/read_only", true}}}, {"GET", "/api/line"}});  // reading stays open
    // Released, the line is the other's.
    browser_->expect({{"POST", "/api/release"}});
    other.expect({{"POST", "/api/drive"}, {"GET", "/api/session", {}, 0, {{"/driving", true}}}});
}

// ---- the line
TEST_F(HostServe, LineListsTheStationsAndSelectAndIdentifyAddressThem) {
    browser_->expect({{"GET", "/api/line", {}, 0,
                       {{"/entries/1/name", "KESTA7 Mini V-type"}, {"/entries/2", nullptr}, {"/selected", 1}, {"/locks/code", 0}}},
                      {"POST", "/api/identify", {{"entry", 2}}, 0, {{"/target/station", 2}, {"/target/family", 0x40}}}});
    EXPECT_EQ(install_.station_list(), stationList_) << "identify leaves servo.con alone";
    browser_->expect({{"POST", "/api/online", {{"entry", 1}, {"online", false}}}, {"POST", "/api/online", {{"entry", 1}, {"online", true}}}});
    EXPECT_EQ(install_.station_list(), stationList_);
    browser_->expect({{"POST", "/api/select", {{"entry", 2}}}, {"GET", "/api/line", {}, 0, {{"/selected", 2}}},
                      {"POST", "/api/select", {{"entry", 51}}, 400},
                      {"POST", "/api/online", {{"online", "yes"}}, 400},  // a field of the wrong type
                      {"POST", "/api/identify"}});                        // and the server goes on
    // A station that does not answer times out, and the line is usable afterwards.
    install_.set_station_list("SERVO,   1\n3\n001,0,KESTA7 L-type\n002,0,KESTA7 Mini V-type\n009,0,nobody\n");
    stationList_ = install_.station_list();
    browser_->expect({{"POST", "/api/identify", {{"entry", 3}}, 2}, {"POST", "/api/identify", {{"entry", 1}}}});
}

// ---- extended parameters: read, refused and accepted edits, write, compare
TEST_F(HostServe, ExtendedParametersReadCheckedEditWriteAndCompare) {
    const Json read = browser_->expect({{"POST", "/api/ext/read", {{"entry", 1}}}});
    EXPECT_EQ(read["set"]["parameters"].back()["panel"], "3_99");
    EXPECT_EQ(parameter(read["set"], 3)["value"], "3");

    // Refused: the range named, the set untouched, nothing sent.
    for (const char* value : {"1000000000", "-5", "12.25"}) {
        const Json refused = browser_->expect({{"POST", "/api/ext/change", changes({{8, value}}), -15}});
        EXPECT_NE(refused["message"].get<std::string>().find("parameter 8 ("), std::string::npos) << refused;
    }
    EXPECT_EQ(parameter(browser_->expect({{"GET", "/api/ext"}})["set"], 8)["value"], "8.0");
    // A pair of changes is all or nothing.
    browser_->expect({{"POST", "/api/ext/change", changes({{3, "7"}, {8, "-5"}}), -15}});
    EXPECT_EQ(parameter(browser_->expect({{"GET", "/api/ext"}})["set"], 3)["changed"], false);

    const Json changed = browser_->expect({{"POST", "/api/ext/change", changes({{3, "4500"}})}});
    EXPECT_EQ(parameter(changed["set"], 3)["changed"], true);
    // Before the write, compare names exactly the changed parameter.
    const Json before = browser_->expect({{"POST", "/api/ext/compare", {{"entry", 1}}}});
    ASSERT_EQ(before["differences"].size(), 1u) << before;
    EXPECT_EQ(before["differences"][0], (Json{{"no", 3}, {"panel", "1_03"}, {"name", parameter(changed["set"], 3)["name"]},
                                              {"reference", "4500"}, {"amplifier", "3"}}));
    browser_->expect({{"POST", "/api/ext/write", {{"entry", 1}}},
                      {"POST", "/api/ext/compare", {{"entry", 1}}, 0, {{"/differences", Json::array()}}}});
    EXPECT_EQ(device_value(1, 3), "4500.0");
    EXPECT_EQ(device_value(1, 4), "4.0");
}

TEST_F(HostServe, ParameterFilesGoUpAndDownAndAWrongNameIsRefused) {
    browser_->expect({{"GET", "/api/ext", {}, 0, {{"/set", nullptr}}},
                      {"POST", "/api/ext/write", {}, -5},  // nothing in hand
                      {"POST", "/api/ext/read"}});
    auto saved = browser_->raw_get("/api/ext/save?name=mine.k7p");
    ASSERT_TRUE(saved);
    ASSERT_EQ(saved->status, 200);
    EXPECT_EQ(saved->body.rfind("SERVO,LIN, 001,", 0), 0u) << saved->body.substr(0, 60);
    EXPECT_EQ(saved->get_header_value("Content-Disposition"), "attachment; filename=\"mine.k7p\"");
    auto csv = browser_->raw_get("/api/ext/csv");
    ASSERT_TRUE(csv);
    EXPECT_NE(csv->body.find("1_03 ,"), std::string::npos);
    EXPECT_GT(browser_->expect({{"GET", "/api/ext/listing"}})["lines"].size(), 297u);

    browser_->expect({{"POST", "/api/ext/create", {{"model", "VEL"}}}});
    auto opened = browser_->upload("/api/ext/open?name=mine.k7p", saved->body);
    ASSERT_TRUE(opened);
    const Json set = Json::parse(opened->body)["set"];
    EXPECT_EQ(set["name"], "mine.k7p");
    EXPECT_EQ(parameter(set, 3)["value"], "3");
    for (const char* bad : {"../x.k7p", "x.txt", ".k7p"}) {
        auto r = browser_->upload(std::string("/api/ext/open?name=") + bad, saved->body);
        EXPECT_EQ(r->status, 400) << bad;
    }
    EXPECT_EQ(Json::parse(browser_->upload("/api/ext/open?name=junk.k7p", "not a parameter file\r\n")->body)["code"], -5);
}

// The servo operator's standard parameters, on a line with an operator at station 0.
class HostServeOperator : public HostServe {
protected:
    HostServeOperator() : HostServe(R"([{"station": 0, "type": "operator"}, {"station": 1, "model": "L"}])") {}
};

TEST_F(HostServeOperator, StandardParametersCheckedWrittenAndCompared) {
    // Parameter 4 of the operator (load inertia) is re-derived from the motor
    // table on every read, so the check uses parameter 5, whose limits are the device's.
    const Json refused = browser_->expect({{"POST", "/api/para/read"}, {"POST", "/api/para/change", changes({{5, "10000"}}), -15}});
    EXPECT_NE(refused["message"].get<std::string>().find("10000 is outside its range 0 .. 9999"), std::string::npos) << refused;
    browser_->expect({{"POST", "/api/para/change", changes({{5, "4500"}})},
                      {"POST", "/api/para/compare", {}, 0, {{"/differences/0/no", 5}, {"/differences/1", nullptr}}},
                      {"POST", "/api/para/write"},
                      {"POST", "/api/para/compare", {}, 0, {{"/differences", Json::array()}}},
                      {"POST", "/api/para/read"}});
    EXPECT_EQ(parameter(browser_->expect({{"GET", "/api/para"}})["set"], 5)["value"], "4500");
}

// ---- the tables
TEST_F(HostServe, PositioningPointEditedCheckedAndWritten) {
    Json values = browser_->expect({{"POST", "/api/pos/read", {{"entry", 1}}}, {"GET", "/api/pos"}})["set"]["points"][4];
    values["stop_pos"] = "1234";
    values["speed"] = "321";
    browser_->expect({{"POST", "/api/pos/point", {{"no", 5}, {"values", values}}, 0, {{"/set/points/4/changed", 1}}}});
    values["speed"] = "-1";
    browser_->expect({{"POST", "/api/pos/point", {{"no", 5}, {"values", values}}, -15},
                      {"GET", "/api/pos", {}, 0, {{"/set/points/4/speed", 321.0}}},
                      {"POST", "/api/pos/write", {{"entry", 1}}},
                      {"POST", "/api/pos/compare", {{"entry", 1}}, 0, {{"/differences", Json::array()}}}});
    const auto point = install_.tav({"--json", "pos", "point", "5", "--entry", "1"});
    EXPECT_EQ(Json::parse(point.out)["stop_pos"], 1234.0) << point.out;
}

TEST_F(HostServe, VvTableOfTheVTypeRoundTrips) {
    Json values = browser_->expect({{"POST", "/api/vv/read", {{"entry", 2}}}, {"GET", "/api/vv"}})["set"]["points"][0];
    values["accel"] = "12.5";
    browser_->expect({{"POST", "/api/vv/point", {{"no", 1}, {"values", values}}}, {"POST", "/api/vv/write", {{"entry", 2}}},
                      {"POST", "/api/vv/read", {{"entry", 2}}}, {"GET", "/api/vv", {}, 0, {{"/set/points/0/accel", 12.5}}}});
    EXPECT_EQ(browser_->raw_get("/api/vv/save")->get_header_value("Content-Disposition"),
              "attachment; filename=\"amp002.m7v\"");
}

// ---- whole-line backup and restore through the host core's backup
TEST_F(HostServe, BackupThenRestoreBringsAChangedValueBack) {
    const Json backup = browser_->expect({{"POST", "/api/backup", {{"dir", "bk"}}, 0, {{"/manifest/complete", true}}}});
    EXPECT_FALSE(backup["manifest"]["files"].empty());
    EXPECT_FALSE(tavtest::read_file(install_.work("bk/manifest.json")).empty()) << "relative to the server's folder";

    const Json plan = browser_->expect({{"POST", "/api/ext/read", {{"entry", 1}}}, {"POST", "/api/ext/change", changes({{3, "4321"}})},
                                        {"POST", "/api/ext/write", {{"entry", 1}}},
                                        {"POST", "/api/restore", {{"dir", "bk"}, {"dry_run", true}}}});
    int planned = 0;
    for (const Json& set : plan["sets"])
        for (const Json& d : set["plan"]) planned += d["no"] == 3 ? 1 : 0;
    EXPECT_EQ(planned, 1) << plan;
    EXPECT_EQ(device_value(1, 3), "4321.0") << "a dry run sends nothing";

    browser_->expect({{"POST", "/api/restore", {{"dir", "bk"}}}});
    EXPECT_EQ(device_value(1, 3), "3.0");
    browser_->expect({{"POST", "/api/restore", {{"dir", ""}}, 400}});
}

// ---- a test run
TEST_F(HostServe, RunOfflineRunOnStartStatusCancelOnline) {
    browser_->expect({{"POST", "/api/online", {{"online", false}}},
                      {"POST", "/api/run/on", {{"on", true}, {"speed", 1}}},
                      {"POST", "/api/run/start", {{"point", 1}}, 0, {{"/ready", true}}},
                      {"GET", "/api/run/status", {}, 0, {{"/run/point", 1}}},
                      {"POST", "/api/run/start", {{"point", 100}}, 400},
                      {"POST", "/api/run/cancel"},
                      {"POST", "/api/run/on", {{"on", false}}},
                      {"POST", "/api/online", {{"online", true}}}});
}

// ---- a refusal from outside: a lock held by another program
TEST_F(HostServe, ALockHeldByAnotherProgramIsNamedAndNothingIsSent) {
    const pid_t tracer = install_.spawn({"trace", "30"}, "trace.log", "held");
    browser_->expect({{"GET", "/api/line", {}, 0, {{"/locks/code", -18}, {"/locks/trace", true}}},
                      {"POST", "/api/ext/read", {}, -18}});
    tavtest::kill_and_wait(tracer, SIGINT);
    browser_->expect({{"POST", "/api/ext/read"}});
}

// ---- progress and cancel
class HostServeSlow : public HostServe {
protected:
    HostServeSlow() : HostServe("", {"--turnaround-us", "100000"}) {}
};

TEST_F(HostServeSlow, ProgressIsPushedAndCancelStopsTheTransferWithMinus31) {
    std::mutex mutex;
    std::string events;
    auto seen = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return events;
    };
    std::atomic<bool> stop{false};
    httplib::Client stream("127.0.0.1", server_->port());
    stream.set_default_headers({{"X-Tav-Token", kToken}});
    std::thread listener([&] {
        stream.Get("/api/events", [&](const char* data, std::size_t n) {
            std::lock_guard<std::mutex> lock(mutex);
            events.append(data, n);
            return !stop;
        });
    });
    tavtest::eventually([&] { return tavtest::has(seen(), ": connected"); });
    std::thread reader([&] { browser_->expect({{"POST", "/api/ext/read", {}, -31}}); });
    tavtest::eventually([&] { return tavtest::has(seen(), "\"percent\":"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // The same browser session on a second connection (the first one waits for the read).
    Browser sameSession(server_->port(), "session-a");
    sameSession.expect({{"POST", "/api/cancel", {}, 0, {{"/cancelling", "ext-read"}}}});
    reader.join();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop = true;
    stream.stop();
    listener.join();
    EXPECT_NE(events.find("event: start\ndata: {\"op\":\"ext-read\"}"), std::string::npos) << events;
    EXPECT_NE(events.find("event: progress\ndata: {\"op\":\"ext-read\",\"percent\":"), std::string::npos) << events;
    EXPECT_NE(events.find("event: end\ndata: {\"op\":\"ext-read\",\"code\":-31}"), std::string::npos) << events;
    // The line is usable afterwards, and the cancel did not stop the server.
    browser_->expect({{"POST", "/api/identify"}, {"POST", "/api/cancel", {}, 0, {{"/cancelling", nullptr}}}});
    EXPECT_EQ(server_->stop(), 0) << server_->log();
}

}  // namespace
