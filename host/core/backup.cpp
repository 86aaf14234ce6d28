#include "host/core/backup.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

#include "host/core/definitions.h"
#include "host/core/saved_file.h"
#include "host/core/sha256.h"
#include "host/core/target.h"
#include "host/core/texts.h"
#include "host/core/transfer.h"
#include "wynapi/wynapi.h"

namespace tavhost::core {

namespace {

using Json = nlohmann::ordered_json;

constexpr int kControlTypeLin = 2, kControlTypeLinKb = 4, kControlTypeVel = 0;

std::string utc_now() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

std::string library_version() {
    char version[12] = "";
    srvTav_GetVersion(version);
    return version;
}

std::string catalogue(int code) {
    char text[1024] = "";
    srvTav_ErrString_Get(code, sizeof text, text);
    return utf8_of(text);
}

std::string path_in(const std::string& dir, const std::string& name) { return dir + "/" + name; }

bool cancel_requested(const Progress& p) { return interrupted() || (p.stop != nullptr && p.stop->load()); }

// The overall progress of a command of `total` transfers: each transfer's
// percent lands in its share; a cancel request goes into the running set.
class OverallView : public ProgressView {
public:
    OverallView(const Progress& p, int total) : progress_(p), total_(total > 0 ? total : 1) {}
    void begin(const std::string& file, void* cancel) {
        file_ = file;
        cancel_ = cancel;
    }
    void rate(unsigned percent) override {
        if (progress_.stop != nullptr && progress_.stop->load() && cancel_ != nullptr) {
            const int32_t code = TAV_E_CANCELLED;
            std::memcpy(cancel_, &code, sizeof code);  // the set is packed
        }
        if (progress_.report) progress_.report(static_cast<unsigned>((done_ * 100 + static_cast<int>(percent)) / total_), file_);
    }
    void end(bool) override { ++done_; }
    void finish() {
        if (progress_.report) progress_.report(100, "");
    }

private:
    const Progress& progress_;
    int total_, done_ = 0;
    std::string file_;
    void* cancel_ = nullptr;
};

// ---- the line
struct LineDevice {
    BackupDevice device;
    std::string amp;  // the station text of the library's transfers
};

std::string device_type(int family, const unsigned char* record) {
    if (family == 0x50) return "operator";
    if (family != 0x30 && family != 0x40) return "-";
    const int control = record[3], interface = record[13];
    if (control == kControlTypeLin || control == kControlTypeLinKb) return "L";
    if (control == kControlTypeVel && interface == 0) return "V";
    return "-";
}

// The servo operator (when the station list is not in use and no entry is
// asked for) and the entries of the station list, identified over one line.
Outcome identify_line(const std::optional<int>& only, std::vector<LineDevice>& out) {
    out.clear();
    if (Outcome r = check_line_locks(); !r.ok()) return r;
    LineSettings settings{};
    if (const int code = srvTav_Set_Rd(&settings); code != 0) return failure(code, Msg::SettingsUnreadable, {});
    StationList list;
    if (Outcome r = read_station_list(list); !r.ok()) return r;
    if (only && (*only < 1 || *only > static_cast<int>(list.entries.size())))
        return failure(TAV_E_PARAMETER, Msg::EntryNotInList,
                       {std::to_string(*only), list.path, std::to_string(list.entries.size())});
    std::vector<LineDevice> wanted;
    if (!only && settings.nLine7 == 0) {
        // Refused before the line opens: the operator's sets need its own definitions.
        std::string operatorFolder;
        if (Outcome r = operator_installation(operatorFolder); !r.ok()) return r;
        wanted.push_back({{0, 0, 0, "", "operator"}, "0"});
    }
    for (const StationEntry& e : list.entries) {
        if ((only && e.entry != *only) || e.station < 0 || e.station > kMaxStation) continue;
        wanted.push_back({{e.entry, e.station, 0, "", "-"}, std::to_string(e.entry)});
    }
    if (const int code = srvTav_Wyn_Net_Open(); code != 0) return failure(code, Msg::LineOpenFailed, {line_device()});
    for (LineDevice& d : wanted) {
        AmpIdentification id{};
        unsigned char record[17] = {};
        int code = srvTav_SysCondition_Rd(d.device.station, &id);
        if (code == 0) code = Wyn_SysCondition_Rd(d.device.station, sizeof record, record);
        if (code != 0) {
            Wyn_Net_Close();
            return failure(code, Msg::NoAnswer, {std::to_string(d.device.entry), std::to_string(d.device.station), line_device()});
        }
        // The record's family byte: the servo operator answers without amplifier texts.
        d.device.family = record[4];
        d.device.model = utf8_of(id.szModelName);
        d.device.type = device_type(record[4], record);
    }
    Wyn_Net_Close();
    out = std::move(wanted);
    return success();
}

// The files a device's sets go to.
std::vector<BackupFile> files_of(const BackupDevice& d) {
    std::vector<BackupFile> files;
    char stem[32];
    if (d.entry == 0) std::snprintf(stem, sizeof stem, "operator");
    else std::snprintf(stem, sizeof stem, "entry%02d-station%03d", d.entry, d.station);
    auto add = [&](SetKind kind, int page, const char* ext) {
        BackupFile f;
        f.file = std::string(stem) + ext;
        f.kind = kind;
        f.page = page;
        f.entry = d.entry;
        f.station = d.station;
        files.push_back(f);
    };
    const bool mini = d.family == 0x40;
    if (d.type == "operator") {
        add(SetKind::Standard, 0, ".k7p");
        add(SetKind::Standard, 1, ".syp");
        add(SetKind::Standard, 2, ".hsp");
    } else if (d.family == 0x30 || d.family == 0x40) {
        add(SetKind::Extended, 0, mini ? ".m7p" : ".k7p");
        if (d.type == "L") add(SetKind::Positioning, 0, ".k7l");
        if (d.type == "V") add(SetKind::Vv, 0, mini ? ".m7v" : ".k7v");
    }
    return files;
}

std::string amp_text(const BackupFile& f) { return std::to_string(f.entry); }

// One transfer of a set with its device: the entry selected around the
// positioning and VV transfers, the overall view and the cancel field wired.
int device_transfer(DataSet& set, const BackupFile& f, OverallView& view, bool write) {
    SelectionGuard selection;
    if (set.kind == SetKind::Positioning || set.kind == SetKind::Vv) {
        Target t;
        t.entry = f.entry;
        if (Outcome r = selection.select(t); !r.ok()) return r.code;
    }
    view.begin(f.file, set.cancel());
    const int code = run_transfer(set.cancel(), &view, [&] { return write ? write_changed(set, amp_text(f)) : read_from_device(set, amp_text(f)); });
    const Outcome back = selection.restore();
    return code != 0 ? code : back.code;
}

Outcome save_manifest(const std::string& dir, const Manifest& m) {
    const std::string path = path_in(dir, kManifestName);
    if (!save_whole(path, manifest_json(m))) return failure(TAV_E_NO_FILE, Msg::ManifestNotSaved, {path, std::strerror(errno)});
    return success();
}

// The manifest marked incomplete with the reason of `why`, saved.
Outcome stop_backup(const std::string& dir, Manifest& m, const Outcome& why) {
    m.complete = false;
    m.reasonCode = why.code;
    m.reason = say(Lang::En, why.msg, why.args) + ": " + std::to_string(why.code) + " " + catalogue(why.code);
    m.finished = utc_now();
    if (Outcome saved = save_manifest(dir, m); !saved.ok()) return saved;
    return why;
}

Json device_json(const BackupDevice& d) {
    return {{"entry", d.entry}, {"station", d.station}, {"family", d.family}, {"family_name", family_name(d.family)},
            {"model", d.model}, {"type", d.type}};
}

Json file_json(const BackupFile& f) {
    return {{"file", f.file}, {"set", kind_word(f.kind)}, {"page", f.page},         {"entry", f.entry},
            {"station", f.station}, {"read_date", f.readDate}, {"sha256", f.sha256}};
}

}  // namespace

std::string manifest_json(const Manifest& m) {
    Json devices = Json::array(), files = Json::array();
    for (const BackupDevice& d : m.devices) devices.push_back(device_json(d));
    for (const BackupFile& f : m.files) files.push_back(file_json(f));
    Json j = {{"format", "tav-backup 1"}, {"tool", m.tool},         {"library", m.library}, {"started", m.started},
              {"finished", m.finished},   {"complete", m.complete}, {"reason_code", m.reasonCode},
              {"reason", m.reason},       {"devices", devices},     {"files", files}};
    return j.dump(2) + "\n";
}

bool parse_manifest(const std::string& text, Manifest& m, std::string& why) {
    m = Manifest{};
    try {
        const Json j = Json::parse(text);
        if (j.value("format", "") != "tav-backup 1") {
            why = "not a tav backup manifest";
            return false;
        }
        m.tool = j.value("tool", "");
        m.library = j.value("library", "");
        m.started = j.value("started", "");
        m.finished = j.value("finished", "");
        m.complete = j.at("complete").get<bool>();
        m.reasonCode = j.value("reason_code", 0);
        m.reason = j.value("reason", "");
        for (const Json& d : j.at("devices"))
            m.devices.push_back({d.at("entry").get<int>(), d.at("station").get<int>(), d.at("family").get<int>(),
                                 d.at("model").get<std::string>(), d.at("type").get<std::string>()});
        for (const Json& f : j.at("files")) {
            BackupFile b;
            b.file = f.at("file").get<std::string>();
            if (!kind_from_word(f.at("set").get<std::string>(), b.kind) || b.file.find('/') != std::string::npos) {
                why = "file entry " + b.file + " is not valid";
                return false;
            }
            b.page = f.at("page").get<int>();
            b.entry = f.at("entry").get<int>();
            b.station = f.at("station").get<int>();
            b.readDate = f.value("read_date", "");
            b.sha256 = f.at("sha256").get<std::string>();
            m.files.push_back(b);
        }
    } catch (const std::exception& e) {
        why = e.what();
        return false;
    }
    return true;
}

Outcome backup_line(const BackupRequest& request, const Progress& progress, Manifest& m) {
    m = Manifest{};
    m.tool = request.tool;
    m.library = library_version();
    m.started = utc_now();
    m.reason = "in progress";
    if (::mkdir(request.dir.c_str(), 0777) != 0 && errno != EEXIST)
        return failure(TAV_E_NO_FILE, Msg::BackupFolderFailed, {request.dir, std::strerror(errno)});
    // Saved before anything is read: a backup that never ends says so.
    if (Outcome r = save_manifest(request.dir, m); !r.ok()) return r;

    std::vector<LineDevice> line;
    if (Outcome r = identify_line(request.entry, line); !r.ok()) return stop_backup(request.dir, m, r);
    std::vector<BackupFile> planned;
    for (const LineDevice& d : line) {
        m.devices.push_back(d.device);
        for (const BackupFile& f : files_of(d.device)) planned.push_back(f);
    }
    OverallView view(progress, static_cast<int>(planned.size()));
    for (BackupFile& f : planned) {
        if (cancel_requested(progress)) return stop_backup(request.dir, m, failure(TAV_E_CANCELLED, Msg::BackupCancelledAt, {f.file}));
        DataSet set = make_set(f.kind, f.page);
        const int code = device_transfer(set, f, view, false);
        if (code != 0)
            return stop_backup(request.dir, m,
                               failure(code, Msg::BackupReadFailed, {f.file, std::to_string(f.entry), std::to_string(f.station)}));
        const std::string path = path_in(request.dir, f.file);
        if (const int saved = save_set(set, path); saved != 0)
            return stop_backup(request.dir, m, failure(saved, Msg::BackupSaveFailed, {path}));
        if (!sha256_file(path, f.sha256))
            return stop_backup(request.dir, m, failure(TAV_E_NO_FILE, Msg::BackupSaveFailed, {path}));
        f.readDate = utf8_of(set.read_date().c_str());
        m.files.push_back(f);
        if (Outcome r = save_manifest(request.dir, m); !r.ok()) return r;
    }
    view.finish();
    m.complete = true;
    m.reason.clear();
    m.finished = utc_now();
    return save_manifest(request.dir, m);
}

// ---- restore
namespace {

std::vector<Mismatch> compare_line(const std::vector<BackupDevice>& backup, const std::vector<LineDevice>& line) {
    std::vector<Mismatch> out;
    for (const BackupDevice& b : backup) {
        const LineDevice* found = nullptr;
        for (const LineDevice& l : line)
            if (l.device.entry == b.entry) found = &l;
        if (found == nullptr) {
            out.push_back({b.entry, b.station, "answer", family_name(b.family), "-"});
            continue;
        }
        const BackupDevice& l = found->device;
        if (l.station != b.station) out.push_back({b.entry, b.station, "station", std::to_string(b.station), std::to_string(l.station)});
        if (l.family != b.family) out.push_back({b.entry, b.station, "family", family_name(b.family), family_name(l.family)});
        if (l.model != b.model) out.push_back({b.entry, b.station, "model", b.model, l.model});
        if (l.type != b.type) out.push_back({b.entry, b.station, "type", b.type, l.type});
    }
    return out;
}

// One set: read the device, write what differs, read back and compare.
Outcome restore_set(const std::string& dir, bool dryRun, OverallView& view, SetReport& rep) {
    const BackupFile& f = rep.file;
    DataSet want = make_set(f.kind, f.page), device = make_set(f.kind, f.page);
    const std::string path = path_in(dir, f.file);
    if (const int code = load_set(path, want); code != 0) return failure(code, Msg::StepLoad, {path});
    if (const int code = device_transfer(device, f, view, false); code != 0)
        return failure(code, Msg::BackupReadFailed, {f.file, std::to_string(f.entry), std::to_string(f.station)});
    rep.plan = differences(device, want);
    if (dryRun || rep.plan.empty()) return success();
    const std::vector<Item> wanted = items_of(want);
    for (const Difference& d : rep.plan) {
        for (const Item& it : wanted) {
            if (it.no != d.no) continue;
            if (change_item(device, it).ok()) ++rep.written;
            else ++rep.refused;
        }
    }
    if (rep.written > 0) {
        if (const int code = device_transfer(device, f, view, true); code != 0) {
            rep.written = 0;
            for (const Difference& d : rep.plan) rep.notVerified.push_back(d.no);
            return failure(code, Msg::RestoreWriteFailed, {f.file, std::to_string(f.entry), std::to_string(f.station)});
        }
    }
    DataSet back = make_set(f.kind, f.page);
    if (const int code = device_transfer(back, f, view, false); code != 0)
        return failure(code, Msg::BackupReadFailed, {f.file, std::to_string(f.entry), std::to_string(f.station)});
    for (const Difference& d : differences(back, want)) rep.notVerified.push_back(d.no);
    rep.verified = static_cast<int>(rep.plan.size() - rep.notVerified.size());
    if (!rep.notVerified.empty())
        return failure(TAV_E_NOT_COMPLETED, Msg::RestoreNotVerified, {f.file, std::to_string(rep.notVerified.size())});
    return success();
}

}  // namespace

Outcome restore_line(const RestoreRequest& request, const Progress& progress, RestoreReport& out) {
    out = RestoreReport{};
    const std::string manifestPath = path_in(request.dir, kManifestName);
    std::string text, why;
    if (!read_whole(manifestPath, text)) return failure(TAV_E_NO_FILE, Msg::ManifestUnreadable, {manifestPath, std::strerror(errno)});
    if (!parse_manifest(text, out.manifest, why)) return failure(TAV_E_NO_FILE, Msg::ManifestUnreadable, {manifestPath, why});
    Manifest& m = out.manifest;
    if (!m.complete) return failure(TAV_E_PARAMETER, Msg::BackupIncomplete, {request.dir, m.reason});

    std::vector<BackupDevice> devices;
    for (const BackupDevice& d : m.devices)
        if (!request.entry || d.entry == *request.entry) devices.push_back(d);
    if (devices.empty()) return failure(TAV_E_PARAMETER, Msg::EntryNotInBackup, {request.entry ? std::to_string(*request.entry) : "-", request.dir});
    std::vector<BackupFile> files;
    for (const BackupFile& f : m.files) {
        if (request.entry && f.entry != *request.entry) continue;
        std::string sum;
        const std::string path = path_in(request.dir, f.file);
        if (!sha256_file(path, sum)) return failure(TAV_E_NO_FILE, Msg::ManifestUnreadable, {path, std::strerror(errno)});
        if (sum != f.sha256) return failure(TAV_E_VERIFY, Msg::ChecksumMismatch, {path});
        files.push_back(f);
    }

    // Every device of the backup checked against the line before anything is sent.
    std::vector<LineDevice> line;
    if (Outcome r = identify_line(request.entry, line); !r.ok()) return r;
    out.mismatches = compare_line(devices, line);
    if (!out.mismatches.empty())
        return failure(TAV_E_MODEL_MISMATCH, Msg::RestoreRefused, {std::to_string(out.mismatches.size())});

    OverallView view(progress, static_cast<int>(files.size()) * (request.dryRun ? 1 : 3));
    Outcome first;
    for (const BackupFile& f : files) {
        SetReport rep;
        rep.file = f;
        if (!first.ok()) rep.outcome = failure(TAV_E_NOT_COMPLETED, Msg::RestoreNotAttempted, {f.file});
        else if (cancel_requested(progress)) rep.outcome = failure(TAV_E_CANCELLED, Msg::BackupCancelledAt, {f.file});
        else rep.outcome = restore_set(request.dir, request.dryRun, view, rep);
        if (first.ok() && !rep.outcome.ok()) first = rep.outcome;
        out.sets.push_back(std::move(rep));
    }
    view.finish();
    return first;
}

}  // namespace tavhost::core
