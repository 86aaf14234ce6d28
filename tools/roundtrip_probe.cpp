// Read/write/compare round trips against servo-sim under injected faults.
// Each loop reads a set from the device (extended parameters, the positioning
// table or the VV table in turn), edits a few entries as tav's checked edits
// allow, writes the changes,
// saves the set to a file, reads the device back and compares it with the
// file. Before a loop, faults may be injected: lost, garbled or unanswered
// replies (servo-sim's state file and SIGHUP) and noise bytes sent toward
// servo-sim while the transfer runs. A failed transfer is allowed (the faults
// may exceed the retries); a device that differs from the file after a write
// and a read back that both succeeded is a mismatch, and ends with status 1.
//
//   roundtrip_probe [loops] [seed]
// Uses the build's sample installation (share/tav), servo-sim and language
// modules (bin); works in a temporary copy of the installation.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Tav_acs.h"
#include "host/core/edits.h"
#include "sim/process.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// servo-sim on a pseudo-terminal behind link, with wire-time emulation.
class Sim {
public:
    Sim(const std::string& program, const std::string& state, const std::string& link)
        : state_(state), process_({program, "--state", state, "--pty", link, "--baud", "115200"}) {}
    bool ready() const { return process_.ready(); }

    // Replaces the faults in the state file and has servo-sim re-read it.
    bool inject(const Json& faults) {
        std::ifstream in(state_);
        std::stringstream text;
        if (in) text << in.rdbuf();
        // No file yet: servo-sim still plays its default line.
        Json state = text.str().empty() ? Json::object() : Json::parse(text.str(), nullptr, false);
        if (state.is_discarded()) return false;
        state["faults"] = faults;
        const std::string tmp = state_ + ".probe";
        std::ofstream(tmp) << state.dump(1);
        if (::rename(tmp.c_str(), state_.c_str()) != 0) return false;
        process_.reload();
        return true;
    }

private:
    std::string state_;
    tavsim::ServoSimProcess process_;
};

// Noise bytes written toward servo-sim once, after a random delay, while a
// transfer runs on the same line.
class NoiseBurst {
public:
    NoiseBurst(const std::string& link, std::mt19937& rng)
        : delayMs_(std::uniform_int_distribution<int>(0, 300)(rng)) {
        std::uniform_int_distribution<int> len(1, 24), byte(0, 255);
        bytes_.resize(static_cast<size_t>(len(rng)));
        for (auto& b : bytes_) b = static_cast<unsigned char>(byte(rng));
        thread_ = std::thread([this, link] {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
            const int fd = ::open(link.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0) return;
            if (::write(fd, bytes_.data(), bytes_.size()) < 0) std::perror("noise");
            ::close(fd);
        });
    }
    ~NoiseBurst() { thread_.join(); }
    NoiseBurst(const NoiseBurst&) = delete;
    NoiseBurst& operator=(const NoiseBurst&) = delete;

private:
    int delayMs_;
    std::vector<unsigned char> bytes_;
    std::thread thread_;
};

bool same(double a, double b) { return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(a)); }

// One kind of set: read from the device, edit, write, save, load, compare.
struct Kind {
    const char* name;
    const char* amp;  // station text
    std::string file;
    virtual ~Kind() = default;
    virtual short read_device() = 0;               // into the working set
    virtual void edit(std::mt19937& rng) = 0;       // a few entries changed
    virtual short write_device() = 0;              // the changed entries
    virtual short save() = 0;                      // the working set to file
    virtual short read_back_and_compare(int& differences) = 0;  // device again vs file
};

struct ExtKind final : Kind {
    std::unique_ptr<NewParaSet> set = std::make_unique<NewParaSet>();
    short read_device() override {
        set = std::make_unique<NewParaSet>();
        return srvTav_NewPara_ComRd(nullptr, amp, 0, set.get(), 0, 0);
    }
    // Checked as tav checks a user's edit: a value the host refuses is not tried.
    void edit(std::mt19937& rng) override {
        std::uniform_int_distribution<int> no(1, 297), pick(0, 2);
        for (int k = 0; k < 4; ++k) {
            NewParaRecord r;
            const int n = no(rng);
            if (srvTav_NewPara_Dat_Rd(set.get(), n, &r) != 0) continue;
            const double v[] = {r.dInitial, r.dMin, r.dMax};
            tavhost::core::change_ext(set.get(), n, v[pick(rng)]);
        }
    }
    short write_device() override { return srvTav_NewPara_ComWt(nullptr, amp, 0, 0, set.get()); }
    short save() override { return srvTav_NewPara_Wt(file.c_str(), set.get()); }
    short read_back_and_compare(int& differences) override {
        auto device = std::make_unique<NewParaSet>(), saved = std::make_unique<NewParaSet>();
        if (short rc = srvTav_NewPara_ComRd(nullptr, amp, 0, device.get(), 0, 0)) return rc;
        if (short rc = srvTav_NewPara_Rd(file.c_str(), 0, saved.get())) return rc;
        for (int n = 1; n <= 297; ++n) {
            NewParaRecord a, b;
            const bool inA = srvTav_NewPara_Dat_Rd(device.get(), n, &a) == 0, inB = srvTav_NewPara_Dat_Rd(saved.get(), n, &b) == 0;
            if (inA != inB || (inA && !same(a.dValue, b.dValue))) {
                ++differences;
                std::printf("  %s parameter %d: device %.6f, file %.6f\n", name, n, a.dValue, b.dValue);
            }
        }
        return 0;
    }
};

// Point values a user may set: integers everywhere, so every table decimal setting carries them.
template <class Point>
void random_point(Point& p, std::mt19937& rng) {
    auto in = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    p.nCmdMode = in(0, 1);
    p.nStepMode = in(0, 3);
    p.dStopPos = in(-99999, 99999);
    p.dSpeed = in(0, 7999);
    p.dStopTimer = in(0, 9);
    p.nMCode = in(0, 255);
    p.nMValid = in(0, 1);
    p.nMTiming = in(0, 1);
}

template <class Point>
bool same_point(const Point& a, const Point& b) {
    return a.nCmdMode == b.nCmdMode && a.nStepMode == b.nStepMode && same(a.dStopPos, b.dStopPos) &&
           same(a.dSpeed, b.dSpeed) && same(a.dStopTimer, b.dStopTimer) && a.nMCode == b.nMCode &&
           a.nMValid == b.nMValid && a.nMTiming == b.nMTiming;
}

struct PosKind final : Kind {
    std::unique_ptr<ItiDatSet> set = std::make_unique<ItiDatSet>();
    short read_device() override {
        set = std::make_unique<ItiDatSet>();
        return srvTav_ItiDat_ComRd(nullptr, amp, set.get());
    }
    void edit(std::mt19937& rng) override {
        std::uniform_int_distribution<int> no(1, 99);
        for (int k = 0; k < 4; ++k) {
            ItiDatPoint p{};
            random_point(p, rng);
            srvTav_ItiDat_Chg(set.get(), no(rng), p.nCmdMode, p.nStepMode, p.dStopPos, p.dSpeed, p.dStopTimer, p.nMCode,
                              p.nMValid, p.nMTiming);
        }
    }
    short write_device() override { return srvTav_ItiDat_ComWt(nullptr, amp, 0, set.get()); }
    short save() override { return srvTav_ItiDatFil_Wt(file.c_str(), set.get()); }
    short read_back_and_compare(int& differences) override {
        auto device = std::make_unique<ItiDatSet>(), saved = std::make_unique<ItiDatSet>();
        if (short rc = srvTav_ItiDat_ComRd(nullptr, amp, device.get())) return rc;
        if (short rc = srvTav_ItiDatFil_Rd(file.c_str(), saved.get())) return rc;
        for (int i = 0; i < 99; ++i)
            if (!same_point(device->point[i], saved->point[i])) {
                ++differences;
                std::printf("  %s point %d: device and file differ\n", name, i + 1);
            }
        return 0;
    }
};

struct VvKind final : Kind {
    std::unique_ptr<ItiVvDatSet> set = std::make_unique<ItiVvDatSet>();
    short read_device() override {
        set = std::make_unique<ItiVvDatSet>();
        return srvTav_ItiVvDat_ComRd(nullptr, amp, set.get());
    }
    void edit(std::mt19937& rng) override {
        std::uniform_int_distribution<int> no(1, 15), time(0, 9999);
        for (int k = 0; k < 3; ++k) {
            ItiVvDatPoint p{};
            random_point(p, rng);
            srvTav_ItiVvDat_Chg(set.get(), no(rng), p.nCmdMode, p.nStepMode, p.dStopPos, p.dSpeed, time(rng), time(rng),
                                p.dStopTimer, p.nMCode, p.nMValid, p.nMTiming);
        }
    }
    short write_device() override { return srvTav_ItiVvDat_ComWt(nullptr, amp, 0, set.get()); }
    short save() override { return srvTav_ItiVvDatFil_Wt(file.c_str(), set.get()); }
    short read_back_and_compare(int& differences) override {
        auto device = std::make_unique<ItiVvDatSet>(), saved = std::make_unique<ItiVvDatSet>();
        if (short rc = srvTav_ItiVvDat_ComRd(nullptr, amp, device.get())) return rc;
        if (short rc = srvTav_ItiVvDatFil_Rd(file.c_str(), saved.get())) return rc;
        for (int i = 0; i < 15; ++i) {
            const ItiVvDatPoint &a = device->point[i], &b = saved->point[i];
            if (!same_point(a, b) || !same(a.dAccelTime, b.dAccelTime) || !same(a.dDecelTime, b.dDecelTime)) {
                ++differences;
                std::printf("  %s point %d: device and file differ\n", name, i + 1);
            }
        }
        return 0;
    }
};

// A random set of faults for one loop (an empty object: none) and how many it injects.
Json random_faults(std::mt19937& rng, int& count) {
    auto in = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Json f = Json::object();
    count = 0;
    switch (in(0, 4)) {
        case 1: f["garble_next"] = count = in(1, 4); break;
        case 2: f["drop_next"] = count = in(1, 4); break;
        case 3: f["timeout_next"] = count = in(1, 3); break;
        case 4:
            f["garble_next"] = in(1, 2);
            f["drop_next"] = in(1, 2);
            count = f["garble_next"].get<int>() + f["drop_next"].get<int>();
            break;
        default: break;
    }
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    const int loops = argc > 1 ? std::atoi(argv[1]) : 400;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 1;
    const fs::path build = fs::canonical("/proc/self/exe").parent_path().parent_path();
    const fs::path home = fs::temp_directory_path() / ("roundtrip_probe_" + std::to_string(::getpid()));
    fs::remove_all(home);
    fs::copy(build / "share/tav", home, fs::copy_options::recursive);
    fs::remove(home / "sim-state.json");
    setenv("WYN_HOME", home.c_str(), 1);
    setenv("TAV_HOST_DIR", (build / "bin").c_str(), 0);
    setenv("TAV_SYSTEM_LANGID", "0409", 0);
    tavplat_set_message_box([](const char*, const char*, unsigned) { return 1; });
    const std::string link = (home / "ttySIM").string();
    std::ofstream(home / "wyn.ini", std::ios::binary) << "[Ports]\r\nCOM1=" << link << "\r\n";
    LineSettings settings{};
    if (srvTav_Set_Rd(&settings) != 0) return 2;
    settings.nBaud = 6;  // 115200
    if (srvTav_SetWyn_Wt(&settings) != 0) return 2;

    Sim sim((build / "bin/servo-sim").string(), (home / "state.json").string(), link);
    if (!sim.ready()) {
        std::fprintf(stderr, "servo-sim did not start\n");
        return 2;
    }
    ExtKind ext;
    PosKind pos;
    VvKind vv;
    ext.name = "extended parameters", ext.amp = "1", ext.file = (home / "p.k7p").string();
    pos.name = "positioning table", pos.amp = "1", pos.file = (home / "p.k7l").string();
    vv.name = "VV table", vv.amp = "2", vv.file = (home / "v.m7v").string();
    Kind* kinds[] = {&ext, &pos, &vv};

    std::mt19937 rng(seed);
    int faults = 0, noise = 0, failedTransfers = 0, unedited = 0, compared = 0, mismatches = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int loop = 0; loop < loops; ++loop) {
        Kind& k = *kinds[loop % 3];
        srvTav_Amp_Wt(k.amp);
        int injected = 0;
        const Json f = random_faults(rng, injected);
        if (!f.empty() && !sim.inject(f)) {
            std::fprintf(stderr, "cannot inject faults\n");
            return 2;
        }
        faults += injected;
        std::unique_ptr<NoiseBurst> burst;
        if (std::uniform_int_distribution<int>(0, 3)(rng) == 0) {
            burst = std::make_unique<NoiseBurst>(link, rng);
            ++faults, ++noise;
        }
        const short read = k.read_device();
        short write = -1, back = -1;
        if (read == 0) {
            k.edit(rng);
            write = k.write_device();
        }
        burst.reset();
        if (write == 0 && k.save() == 0) {
            int differences = 0;
            back = k.read_back_and_compare(differences);
            if (back == 0) {
                ++compared;
                if (differences > 0) {
                    ++mismatches;
                    std::printf("loop %d (%s): MISMATCH, %d entries differ (faults %s)\n", loop, k.name, differences,
                                f.dump().c_str());
                }
            }
        }
        if (write == TAV_E_NOTHING_TO_SEND) {
            ++unedited;  // every edit tried was one tav refuses
        } else if (read != 0 || write != 0 || back != 0) {
            ++failedTransfers;
            std::printf("loop %d (%s): read %d, write %d, read back %d (faults %s)\n", loop, k.name, read, write, back,
                        f.dump().c_str());
        }
        if (!f.empty()) sim.inject(Json::object());  // what the loop left unspent does not carry over
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("loops %d, faults injected %d (noise bursts %d), loops with a failed transfer %d, "
                "without an edit %d, compared %d, device/file mismatches %d, %.0f s\n",
                loops, faults, noise, failedTransfers, unedited, compared, mismatches, seconds);
    fs::remove_all(home);
    return mismatches == 0 ? 0 : 1;
}
