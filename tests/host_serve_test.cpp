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
        pid_ = install.spawn(args, install.work(log_));
        const std::regex url("http://127\\.0\\.0\\.1:([0-9]+)/\\?token=([0-9a-f]+)");
        // Up to 30 s: a loaded machine with an unoptimised tree can take over 5 s to start the server.
        for (int i = 0; i < 3000 && port_ == 0; ++i) {
            std::smatch m;
            const std::string log = tavtest::read_file(install.work(log_));
            if (std::regex_search(log, m, url)) port_ = std::stoi(m[1]);
            else std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~ServeProcess() { stop(); }
    int stop() {
        if (pid_ <= 0) return status_;
        ::kill(pid_, SIGTERM);
        status_ = tavtest::wait_exit(pid_);
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

// A browser session: the token and its own session id in every request.
class Browser {
public:
    Browser(int port, std::string session) : client_("127.0.0.1", port), session_(std::move(session)) {
        client_.set_read_timeout(60, 0);
        client_.set_default_headers({{"X-Tav-Token", kToken}, {"X-Tav-Session", session_}});
    }
    Json get(const std::string& path) { return json(client_.Get(path.c_str())); }
    Json post(const std::string& path, const Json& body = Json::object()) {
        return json(client_.Post(path.c_str(), body.dump(), "application/json"));
    }
    httplib::Result raw_get(const std::string& path, const httplib::Headers& headers = {}) { return client_.Get(path.c_str(), headers); }
    httplib::Result upload(const std::string& path, const std::string& bytes) {
        return client_.Post(path.c_str(), bytes, "application/octet-stream");
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
    // The amplifier's own value of an extended parameter, read by the terminal tav.
    std::string device_value(int entry, int no) { return tavtest::ext_value(install_, entry, no); }

    std::unique_ptr<ServeProcess> server_;
    std::unique_ptr<Browser> browser_;
    std::string stationList_;
};

// ---- the doors
TEST_F(HostServe, EveryRequestNeedsTheTokenAndAHostAndOriginOfThisServer) {
    httplib::Client anonymous("127.0.0.1", server_->port());
    for (const char* path : {"/", "/app.js", "/api/line", "/api/ext"}) {
        auto r = anonymous.Get(path);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 401) << path;
    }
    EXPECT_EQ(anonymous.Post("/api/run/start", R"({"point":1})", "application/json")->status, 401);
    EXPECT_EQ(anonymous.Get("/?token=ffffffffffffffffffffffffffffffff")->status, 401);

    // The start URL sets the token cookie (HttpOnly, same site only) and drops it from the address.
    auto start = anonymous.Get((std::string("/?token=") + kToken).c_str());
    ASSERT_TRUE(start);
    EXPECT_EQ(start->status, 302);
    EXPECT_EQ(start->get_header_value("Location"), "/");
    const std::string cookie = start->get_header_value("Set-Cookie", 0);
    EXPECT_EQ(cookie, std::string("tav_token=") + kToken + "; Path=/; HttpOnly; SameSite=Strict");
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
    ASSERT_EQ(browser_->post("/api/lang", {{"lang", "ja"}})["code"], 0);
    ASSERT_EQ(browser_->post("/api/ext/read")["code"], 0);
    const Json refused = browser_->post("/api/ext/change", {{"changes", {{{"no", 8}, {"value", "-5"}}}}});
    EXPECT_NE(refused["message"].get<std::string>().find("パラメータ 8 (位置ループゲイン): -5 は範囲 0.0 .. 999999999.9 の外です"),
              std::string::npos) << refused;
    EXPECT_EQ(browser_->get("/api/session")["lang"], "ja");
    EXPECT_EQ(browser_->post("/api/lang", {{"lang", "fr"}})["code"], 400);
}

TEST_F(HostServe, OneSessionDrivesTheOthersReadOnly) {
    ASSERT_EQ(browser_->post("/api/select", {{"entry", 1}})["code"], 0);
    Browser other(server_->port(), "session-b");
    const Json refused = other.post("/api/select", {{"entry", 2}});
    EXPECT_EQ(other.status, 409);
    EXPECT_EQ(refused["code"], -18);
    EXPECT_EQ(other.get("/api/session")["read_only"], true);
    EXPECT_EQ(other.get("/api/line")["code"], 0) << "reading stays open";
    // Released, the line is the other's.
    browser_->post("/api/release");
    EXPECT_EQ(other.post("/api/drive")["code"], 0);
    EXPECT_EQ(other.get("/api/session")["driving"], true);
}

// ---- the line
TEST_F(HostServe, LineListsTheStationsAndSelectAndIdentifyAddressThem) {
    const Json line = browser_->get("/api/line");
    ASSERT_EQ(line["code"], 0) << line;
    ASSERT_EQ(line["entries"].size(), 2u);
    EXPECT_EQ(line["entries"][1]["name"], "KESTA7 Mini V-type");
    EXPECT_EQ(line["selected"], 1);
    EXPECT_EQ(line["locks"]["code"], 0);

    const Json id = browser_->post("/api/identify", {{"entry", 2}});
    ASSERT_EQ(id["code"], 0) << id;
    EXPECT_EQ(id["target"]["station"], 2);
    EXPECT_EQ(id["target"]["family"], 0x40);
    EXPECT_EQ(install_.station_list(), stationList_) << "identify leaves servo.con alone";

    EXPECT_EQ(browser_->post("/api/online", {{"entry", 1}, {"online", false}})["code"], 0);
    EXPECT_EQ(browser_->post("/api/online", {{"entry", 1}, {"online", true}})["code"], 0);
    EXPECT_EQ(install_.station_list(), stationList_);

    ASSERT_EQ(browser_->post("/api/select", {{"entry", 2}})["code"], 0);
    EXPECT_EQ(browser_->get("/api/line")["selected"], 2);
    EXPECT_EQ(browser_->post("/api/select", {{"entry", 51}})["code"], 400);
    EXPECT_EQ(browser_->post("/api/online", {{"online", "yes"}})["code"], 400) << "a field of the wrong type";
    EXPECT_EQ(browser_->post("/api/identify")["code"], 0) << "and the server goes on";
}

// ---- extended parameters: read, refused and accepted edits, write, compare
TEST_F(HostServe, ExtendedParametersReadCheckedEditWriteAndCompare) {
    const Json read = browser_->post("/api/ext/read", {{"entry", 1}});
    ASSERT_EQ(read["code"], 0) << read;
    EXPECT_EQ(read["set"]["parameters"].back()["panel"], "3_99");
    EXPECT_EQ(parameter(read["set"], 3)["value"], "3");

    // Refused: the range named, the set untouched, nothing sent.
    for (const char* value : {"1000000000", "-5", "12.25"}) {
        const Json refused = browser_->post("/api/ext/change", {{"changes", {{{"no", 8}, {"value", value}}}}});
        EXPECT_EQ(refused["code"], -15) << value << refused;
        EXPECT_NE(refused["message"].get<std::string>().find("parameter 8 ("), std::string::npos) << refused;
    }
    EXPECT_EQ(parameter(browser_->get("/api/ext")["set"], 8)["value"], "8.0");
    // A pair of changes is all or nothing.
    EXPECT_EQ(browser_->post("/api/ext/change", {{"changes", {{{"no", 3}, {"value", "7"}}, {{"no", 8}, {"value", "-5"}}}}})["code"], -15);
    EXPECT_EQ(parameter(browser_->get("/api/ext")["set"], 3)["changed"], false);

    const Json changed = browser_->post("/api/ext/change", {{"changes", {{{"no", 3}, {"value", "4500"}}}}});
    ASSERT_EQ(changed["code"], 0) << changed;
    EXPECT_EQ(parameter(changed["set"], 3)["changed"], true);
    // Before the write, compare names exactly the changed parameter.
    const Json before = browser_->post("/api/ext/compare", {{"entry", 1}});
    ASSERT_EQ(before["code"], 0);
    ASSERT_EQ(before["differences"].size(), 1u) << before;
    EXPECT_EQ(before["differences"][0], (Json{{"no", 3}, {"panel", "1_03"}, {"name", parameter(changed["set"], 3)["name"]},
                                              {"reference", "4500"}, {"amplifier", "3"}}));

    ASSERT_EQ(browser_->post("/api/ext/write", {{"entry", 1}})["code"], 0);
    EXPECT_EQ(browser_->post("/api/ext/compare", {{"entry", 1}})["differences"].size(), 0u);
    EXPECT_EQ(device_value(1, 3), "4500.0");
    EXPECT_EQ(device_value(1, 4), "4.0");
    EXPECT_EQ(install_.station_list(), stationList_);
}

TEST_F(HostServe, ParameterFilesGoUpAndDownAndAWrongNameIsRefused) {
    EXPECT_EQ(browser_->get("/api/ext")["set"], nullptr);
    EXPECT_EQ(browser_->post("/api/ext/write")["code"], -5) << "nothing in hand";
    ASSERT_EQ(browser_->post("/api/ext/read")["code"], 0);
    auto saved = browser_->raw_get("/api/ext/save?name=mine.k7p");
    ASSERT_TRUE(saved);
    ASSERT_EQ(saved->status, 200);
    EXPECT_EQ(saved->body.rfind("SERVO,LIN, 001,", 0), 0u) << saved->body.substr(0, 60);
    EXPECT_EQ(saved->get_header_value("Content-Disposition"), "attachment; filename=\"mine.k7p\"");
    auto csv = browser_->raw_get("/api/ext/csv");
    ASSERT_TRUE(csv);
    EXPECT_NE(csv->body.find("1_03 ,"), std::string::npos);
    EXPECT_GT(browser_->get("/api/ext/listing")["lines"].size(), 297u);

    ASSERT_EQ(browser_->post("/api/ext/create", {{"model", "VEL"}})["code"], 0);
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
    const Json read = browser_->post("/api/para/read");
    ASSERT_EQ(read["code"], 0) << read;
    // Parameter 4 of the operator (load inertia) is re-derived from the motor
    // table on every read, so the check uses parameter 5, whose limits are the device's.
    const Json refused = browser_->post("/api/para/change", {{"changes", {{{"no", 5}, {"value", "10000"}}}}});
    EXPECT_EQ(refused["code"], -15);
    EXPECT_NE(refused["message"].get<std::string>().find("10000 is outside its range 0 .. 9999"), std::string::npos) << refused;
    const Json taken = browser_->post("/api/para/change", {{"changes", {{{"no", 5}, {"value", "4500"}}}}});
    ASSERT_EQ(taken["code"], 0) << taken;
    EXPECT_EQ(browser_->post("/api/para/compare")["differences"].size(), 1u);
    ASSERT_EQ(browser_->post("/api/para/write")["code"], 0);
    EXPECT_EQ(browser_->post("/api/para/compare")["differences"].size(), 0u);
    ASSERT_EQ(browser_->post("/api/para/read")["code"], 0);
    EXPECT_EQ(parameter(browser_->get("/api/para")["set"], 5)["value"], "4500");
}

// ---- the tables
TEST_F(HostServe, PositioningPointEditedCheckedAndWritten) {
    ASSERT_EQ(browser_->post("/api/pos/read", {{"entry", 1}})["code"], 0);
    Json values = browser_->get("/api/pos")["set"]["points"][4];
    values["stop_pos"] = "1234";
    values["speed"] = "321";
    const Json edited = browser_->post("/api/pos/point", {{"no", 5}, {"values", values}});
    ASSERT_EQ(edited["code"], 0) << edited;
    EXPECT_EQ(edited["set"]["points"][4]["changed"], 1);
    values["speed"] = "-1";
    EXPECT_EQ(browser_->post("/api/pos/point", {{"no", 5}, {"values", values}})["code"], -15);
    EXPECT_EQ(browser_->get("/api/pos")["set"]["points"][4]["speed"], 321.0);

    ASSERT_EQ(browser_->post("/api/pos/write", {{"entry", 1}})["code"], 0);
    EXPECT_EQ(browser_->post("/api/pos/compare", {{"entry", 1}})["differences"].size(), 0u);
    const auto point = install_.tav({"--json", "pos", "point", "5", "--entry", "1"});
    EXPECT_EQ(Json::parse(point.out)["stop_pos"], 1234.0) << point.out;
    EXPECT_EQ(install_.station_list(), stationList_);
}

TEST_F(HostServe, VvTableOfTheVTypeRoundTrips) {
    ASSERT_EQ(browser_->post("/api/vv/read", {{"entry", 2}})["code"], 0);
    Json values = browser_->get("/api/vv")["set"]["points"][0];
    values["accel"] = "12.5";
    ASSERT_EQ(browser_->post("/api/vv/point", {{"no", 1}, {"values", values}})["code"], 0);
    ASSERT_EQ(browser_->post("/api/vv/write", {{"entry", 2}})["code"], 0);
    ASSERT_EQ(browser_->post("/api/vv/read", {{"entry", 2}})["code"], 0);
    EXPECT_EQ(browser_->get("/api/vv")["set"]["points"][0]["accel"], 12.5);
    auto saved = browser_->raw_get("/api/vv/save");
    EXPECT_EQ(saved->get_header_value("Content-Disposition"), "attachment; filename=\"amp002.m7v\"");
    EXPECT_EQ(install_.station_list(), stationList_);
}

// ---- whole-line backup and restore through the host core's backup
TEST_F(HostServe, BackupThenRestoreBringsAChangedValueBack) {
    const Json backup = browser_->post("/api/backup", {{"dir", "bk"}});
    ASSERT_EQ(backup["code"], 0) << backup;
    EXPECT_EQ(backup["manifest"]["complete"], true);
    EXPECT_FALSE(backup["manifest"]["files"].empty());
    EXPECT_FALSE(tavtest::read_file(install_.work("bk/manifest.json")).empty()) << "relative to the server's folder";

    ASSERT_EQ(browser_->post("/api/ext/read", {{"entry", 1}})["code"], 0);
    ASSERT_EQ(browser_->post("/api/ext/change", {{"changes", {{{"no", 3}, {"value", "4321"}}}}})["code"], 0);
    ASSERT_EQ(browser_->post("/api/ext/write", {{"entry", 1}})["code"], 0);

    const Json plan = browser_->post("/api/restore", {{"dir", "bk"}, {"dry_run", true}});
    ASSERT_EQ(plan["code"], 0) << plan;
    int planned = 0;
    for (const Json& set : plan["sets"])
        for (const Json& d : set["plan"]) planned += d["no"] == 3 ? 1 : 0;
    EXPECT_EQ(planned, 1) << plan;
    EXPECT_EQ(device_value(1, 3), "4321.0") << "a dry run sends nothing";

    ASSERT_EQ(browser_->post("/api/restore", {{"dir", "bk"}})["code"], 0);
    EXPECT_EQ(device_value(1, 3), "3.0");
    EXPECT_EQ(browser_->post("/api/restore", {{"dir", ""}})["code"], 400);
    EXPECT_EQ(install_.station_list(), stationList_);
}

// ---- a test run
TEST_F(HostServe, RunOfflineRunOnStartStatusCancelOnline) {
    ASSERT_EQ(browser_->post("/api/online", {{"online", false}})["code"], 0);
    const Json on = browser_->post("/api/run/on", {{"on", true}, {"speed", 1}});
    ASSERT_EQ(on["code"], 0) << on;
    const Json start = browser_->post("/api/run/start", {{"point", 1}});
    ASSERT_EQ(start["code"], 0) << start;
    EXPECT_EQ(start["ready"], true);
    const Json status = browser_->get("/api/run/status");
    ASSERT_EQ(status["code"], 0) << status;
    EXPECT_EQ(status["run"]["point"], 1);
    EXPECT_EQ(browser_->post("/api/run/start", {{"point", 100}})["code"], 400);
    EXPECT_EQ(browser_->post("/api/run/cancel")["code"], 0);
    EXPECT_EQ(browser_->post("/api/run/on", {{"on", false}})["code"], 0);
    EXPECT_EQ(browser_->post("/api/online", {{"online", true}})["code"], 0);
    EXPECT_EQ(install_.station_list(), stationList_);
}

// ---- refusals from outside: a lock held by another program, a station that does not answer
TEST_F(HostServe, ALockHeldByAnotherProgramIsNamedAndNothingIsSent) {
    const pid_t tracer = install_.spawn({"trace", "30"}, install_.work("trace.log"));
    for (int i = 0; i < 300 && tavtest::read_file(install_.work("trace.log")).find("held") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const Json line = browser_->get("/api/line");
    EXPECT_EQ(line["locks"]["code"], -18) << line;
    EXPECT_EQ(line["locks"]["trace"], true);
    const Json read = browser_->post("/api/ext/read");
    EXPECT_EQ(read["code"], -18) << read;
    ::kill(tracer, SIGINT);
    tavtest::wait_exit(tracer);
    EXPECT_EQ(browser_->post("/api/ext/read")["code"], 0);
}

TEST_F(HostServe, AStationThatDoesNotAnswerTimesOut) {
    install_.set_station_list("SERVO,   1\n3\n001,0,KESTA7 L-type\n002,0,KESTA7 Mini V-type\n009,0,nobody\n");
    const Json silent = browser_->post("/api/identify", {{"entry", 3}});
    EXPECT_EQ(silent["code"], 2) << silent;
    EXPECT_EQ(browser_->post("/api/identify", {{"entry", 1}})["code"], 0) << "the line is usable afterwards";
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
    for (int i = 0; i < 500 && seen().find(": connected") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    Json read;
    std::thread reader([&] { read = browser_->post("/api/ext/read"); });
    for (int i = 0; i < 1000 && seen().find("\"percent\":") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // The same browser session on a second connection (the first one waits for the read).
    Browser sameSession(server_->port(), "session-a");
    EXPECT_EQ(sameSession.post("/api/cancel")["cancelling"], "ext-read");
    reader.join();
    EXPECT_EQ(read["code"], -31) << read;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop = true;
    stream.stop();
    listener.join();
    EXPECT_NE(events.find("event: start\ndata: {\"op\":\"ext-read\"}"), std::string::npos) << events;
    EXPECT_NE(events.find("event: progress\ndata: {\"op\":\"ext-read\",\"percent\":"), std::string::npos) << events;
    EXPECT_NE(events.find("event: end\ndata: {\"op\":\"ext-read\",\"code\":-31}"), std::string::npos) << events;
    EXPECT_EQ(install_.station_list(), stationList_);
    // The line is usable afterwards, and the cancel did not stop the server.
    EXPECT_EQ(browser_->post("/api/identify")["code"], 0);
    EXPECT_EQ(browser_->post("/api/cancel")["cancelling"], nullptr);
    EXPECT_EQ(server_->stop(), 0) << server_->log();
}

}  // namespace
