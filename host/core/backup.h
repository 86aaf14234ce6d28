// Whole-line backup and restore.
//
// backup_line identifies the line (the servo operator and every entry of the
// station list), reads every set each device holds (the servo operator's three
// standard pages; per KESTA7 / KESTA7 Mini amplifier its extended parameters,
// and the positioning table of an L-type or the VV table of a V-type one),
// saves each with the library's writer in the backup folder and describes them
// in manifest.json. The manifest is saved (whole, never half) before the first
// read as incomplete, after each file, and at the end: a backup that stops,
// by Ctrl-C, a cancel request or a failing device, leaves the files read so
// far and a manifest marked incomplete with the reason.
//
// restore_line checks the manifest and every file's checksum, then every
// device of the backup against the line (station, family, model, type) before
// anything is sent; one difference refuses the whole restore. Then per set it
// reads the device, writes only the items that differ from the backup, reads
// back and compares. A dry run stops after the reading and reports the plan.
//
// Both are for any front end: they never print; progress goes to a callback
// and a cancel request comes through a flag (Ctrl-C, within an
// InterruptScope, cancels as well).
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/core/data_sets.h"
#include "host/core/outcome.h"

namespace tavhost::core {

// A device of the line as the backup found it.
struct BackupDevice {
    int entry = 0;        // station-list entry; 0 for the servo operator addressed without the list
    int station = 0;
    int family = 0;       // 0x30 KESTA7, 0x40 KESTA7 Mini, 0x50 servo operator
    std::string model;    // model text of the identification, UTF-8
    std::string type;     // "operator", "L", "V" or "-" (an amplifier without a table)
};

// One file of a backup.
struct BackupFile {
    std::string file;     // name inside the backup folder
    SetKind kind = SetKind::Standard;
    int page = 0;
    int entry = 0;
    int station = 0;
    std::string readDate;  // UTF-8
    std::string sha256;
};

struct Manifest {
    std::string tool, library;   // versions that wrote the backup
    std::string started, finished;  // UTC, ISO 8601
    bool complete = false;
    int reasonCode = 0;           // why it is incomplete: a result code ...
    std::string reason;           // ... and its words (English)
    std::vector<BackupDevice> devices;
    std::vector<BackupFile> files;
};

constexpr const char* kManifestName = "manifest.json";

std::string manifest_json(const Manifest& m);
// false with `why` for a text that is not a manifest of this tool.
bool parse_manifest(const std::string& text, Manifest& m, std::string& why);

// Progress of a whole-line command: overall percent and the file in work;
// called on the thread that runs the command (and the library's thread
// during a transfer). `stop`, when set, cancels at the next exchange.
struct Progress {
    std::function<void(unsigned percent, const std::string& file)> report;
    const std::atomic<bool>* stop = nullptr;
};

struct BackupRequest {
    std::string dir;
    std::optional<int> entry;  // only this station-list entry (and no servo operator)
    std::string tool;          // "tav 1.00"
};

// The manifest as saved last comes back in `out`, complete or not.
Outcome backup_line(const BackupRequest& request, const Progress& progress, Manifest& out);

// ---- restore
// A device of the backup that the line does not match.
struct Mismatch {
    int entry = 0;
    int station = 0;
    std::string field;     // "station", "family", "model", "type", "answer"
    std::string backup, line;
};

struct SetReport {
    BackupFile file;
    std::vector<Difference> plan;  // what differed before writing
    int written = 0, verified = 0, refused = 0;
    std::vector<int> notVerified;  // items that still differ after the write
    Outcome outcome;               // the failure that ended this set's restore
};

struct RestoreRequest {
    std::string dir;
    std::optional<int> entry;
    bool dryRun = false;
};

struct RestoreReport {
    Manifest manifest;
    std::vector<Mismatch> mismatches;  // filled when the restore is refused
    std::vector<SetReport> sets;
};

// Fails with the first failure; the report tells per set what was done.
Outcome restore_line(const RestoreRequest& request, const Progress& progress, RestoreReport& out);

}  // namespace tavhost::core
