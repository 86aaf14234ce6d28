// Files on disk as inputs and outputs: every writer of the library on a full
// disk and killed at every write leaves the old file byte for byte; the
// replacing file keeps permissions and links and refuses what is no regular
// file without waiting; two processes rewriting servo.con never interleave;
// every reader refuses a FIFO, a device, a folder and an oversized file at
// once with a code.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "iti/iti.h"
#include "itivv/itivv.h"
#include "line/line.h"
#include "newpara/newpara.h"
#include "para/para.h"
#include "platform/platform.h"
#include "tests/fixtures/child_process.h"
#include "tests/fixtures/para_fixtures.h"
#include "tests/fixtures/temp_dirs.h"

namespace fs = std::filesystem;

namespace {

// Runs save in a child process whose files may not grow beyond limit bytes.
// With dieAtLimit the write that crosses it kills the child (SIGXFSZ), as a
// kill at that write would; otherwise the write fails as on a full disk.
// Its exit code, or -signal.
int run_limited(const std::function<short()>& save, rlim_t limit, bool dieAtLimit) {
    return tavtest::Child([&] {
               const rlimit noCore{0, 0}, size{limit, limit};
               ::setrlimit(RLIMIT_CORE, &noCore);
               ::signal(SIGXFSZ, dieAtLimit ? SIG_DFL : SIG_IGN);
               ::setrlimit(RLIMIT_FSIZE, &size);
               return save() & 0xFF;
           }).wait();
}

std::string station_list(const std::string& name) {
    std::string list = "SERVO,  1\r\n30\r\n";
    for (int i = 1; i <= 30; ++i) list += (i < 10 ? "00" : "0") + std::to_string(i) + ",0," + name + "\r\n";
    return list;
}

struct Save {
    const char* what;
    std::string target;                 // below the installation folder
    std::function<short()> run;
    short diskFull;                     // the result when the disk is full
};

class AtomicSave : public tavtest::OperatorInstall {
protected:
    void SetUp() override {
        install_operator_files(true);
        ASSERT_EQ(tav::para::Para_Create(0, 0, para.get()), 0);
        fs::remove_all(home.file("def"));
        tavtest::install_sample_definitions(home, false);
        ASSERT_EQ(tav::newpara::NewPara_Create(2, 0, ext.get()), 0);
        iti->nPointCount = 99;
        for (int i = 0; i < 99; ++i) iti->point[i].nDataNo = i + 1, iti->point[i].dStopPos = 1000.0 * i;
        vv->nPointCount = 15;
        for (int i = 0; i < 15; ++i) vv->point[i].nDataNo = i + 1, vv->point[i].dSpeed = 10.0 * i;
        home.write("source.txt", std::string(20000, 's'));
        home.write("servo.con", station_list(std::string(40, 'n')));
    }
    std::string path(const std::string& rel) const { return home.file(rel); }
    std::vector<Save> saves() {
        using namespace tav;
        return {
            {"standard parameters", "a.k7p", [this] { return para::Para_Wt(path("a.k7p").c_str(), para.get()); }, -2},
            {"standard CSV", "a.csv", [this] { return para::ParaCsvType_Wt(path("a.csv").c_str(), para.get()); }, -2},
            {"extended parameters", "e.k7p", [this] { return newpara::NewPara_Wt(path("e.k7p").c_str(), ext.get()); }, -2},
            {"extended CSV", "e.csv", [this] { return newpara::NewParaCsvType_Wt(path("e.csv").c_str(), ext.get()); }, -2},
            {"positioning table", "p.k7l", [this] { return iti::DatFil_Wt(path("p.k7l").c_str(), iti.get()); }, -2},
            {"positioning CSV", "p.csv", [this] { return iti::CsvType_Wt(path("p.csv").c_str(), iti.get()); }, -2},
            {"VV table", "v.k7v", [this] { return itivv::DatFil_Wt(path("v.k7v").c_str(), vv.get()); }, -2},
            {"VV CSV", "v.csv", [this] { return itivv::CsvType_Wt(path("v.csv").c_str(), vv.get()); }, -2},
            {"line settings", "servo.set", [] {
                 LineSettings ls{};
                 (void)line::Set_Rd(&ls);
                 ls.nRetry = 9;
                 return line::SetWyn_Wt(&ls);
             }, -3},
            {"file copy", "copy.txt", [this] { return line::File_Copy(path("source.txt").c_str(), path("copy.txt").c_str()); }, -3},
            {"station list", "servo.con", [] { return line::AmpData_Wt(1, 200, "renamed"); }, -3},
        };
    }
    // The old content of a target: what its writer can read back where it reads.
    std::string old_bytes(const std::string& target) const {
        if (target == "servo.set") return tavtest::read_file(tavtest::sample_file("servo.set"));
        if (target == "servo.con") return station_list(std::string(40, 'n'));
        return std::string(30000, 'o');
    }
    std::vector<std::string> temporary_files() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(home.path()))
            if (e.path().filename().string().ends_with(".tmp") && e.path().filename() != "@TAVACS.TMP")
                out.push_back(e.path().filename());
        return out;
    }

    std::unique_ptr<ParaSet> para = std::make_unique<ParaSet>();
    std::unique_ptr<NewParaSet> ext = std::make_unique<NewParaSet>();
    std::unique_ptr<ItiDatSet> iti = std::make_unique<ItiDatSet>();
    std::unique_ptr<ItiVvDatSet> vv = std::make_unique<ItiVvDatSet>();
};

// Runs read in a child process; its result, or -1000 when it had not ended
// after a second (a reader waiting on a FIFO, or reading without end).
int result_within_a_second(const std::function<short()>& read) {
    const int rc = tavtest::Child([&] { return read() & 0xFF; }).wait_for(std::chrono::seconds(1));
    return rc >= 0 ? static_cast<signed char>(rc) : rc == -1000 ? rc : -2000;
}

}  // namespace

TEST_F(AtomicSave, ReadersRefuseWhatIsNoRegularFileAndOversizedFiles) {
    using namespace tav;
    struct Reader {
        const char* what;
        std::string input;  // the file the reader is given or finds
        std::function<short()> read;
        short refused;
        std::size_t oversize;  // bytes just above the kind's limit
    };
    const std::size_t data = tavplat::kMaxDataFileBytes + 1;
    const Reader readers[] = {
        {"standard parameters", "in.k7p", [this] { return para::Para_Rd(path("in.k7p").c_str(), 0, para.get()); }, -5, data},
        {"extended parameters", "in.k7p", [this] { return newpara::NewPara_Rd(path("in.k7p").c_str(), 0, ext.get()); }, -5, data},
        {"positioning table", "in.k7l", [this] { return iti::DatFil_Rd(path("in.k7l").c_str(), iti.get()); }, -5, data},
        {"VV table", "in.k7v", [this] { return itivv::DatFil_Rd(path("in.k7v").c_str(), vv.get()); }, -5, data},
        {"file copy", "in.k7p", [this] { return line::File_Copy(path("in.k7p").c_str(), path("out.k7p").c_str()); }, -3, data},
        {"definition", "def/1520.def", [this] { return newpara::NewPara_Create(2, 0, ext.get()); }, -5,
         tavplat::kMaxDefinitionFileBytes + 1},
        {"line settings", "servo.set", [] {
             LineSettings ls{};
             return line::Set_Rd(&ls);
         }, -3, tavplat::kMaxSettingsFileBytes + 1},
        {"station list", "servo.con", [] { return line::SiteiAmpKyoku_Rd(1, nullptr); }, -5,
         tavplat::kMaxStationListBytes + 1},
    };
    for (const Reader& r : readers) {
        const std::string input = path(r.input);
        fs::remove_all(input);
        const std::pair<const char*, std::function<bool()>> made[] = {
            {"FIFO", [&] { return ::mkfifo(input.c_str(), 0600) == 0; }},
            {"/dev/zero", [&] { fs::create_symlink("/dev/zero", input); return true; }},
            {"folder", [&] { return fs::create_directory(input); }},
            // One line longer than the kind allows, as a file cut off or made up.
            {"oversized", [&] { home.write(r.input, "SERVO,LIN, " + std::string(r.oversize, '1')); return true; }},
        };
        for (const auto& [kind, make] : made) {
            ASSERT_TRUE(make()) << kind;
            EXPECT_EQ(result_within_a_second(r.read), r.refused) << r.what << ": " << kind;
            fs::remove(input);
        }
    }
}

TEST_F(AtomicSave, FullDiskLeavesTheOldFileByteForByte) {
    for (const Save& s : saves()) {
        const std::string old = old_bytes(s.target);
        home.write(s.target, old);
        // Language modules just rewritten: a text lookup of the save needs a
        // new copy of one, for which the full disk has no room either.
        for (const char* module : {"RSC/tav0411.DLL", "RSC/tav0409.DLL"})
            host.write(module, tavtest::read_file(host.file(module)));
        EXPECT_EQ(run_limited(s.run, 100, false), s.diskFull & 0xFF) << s.what;
        EXPECT_EQ(home.read(s.target), old) << s.what;
        EXPECT_TRUE(temporary_files().empty()) << s.what;
        ASSERT_EQ(s.run(), 0) << s.what;  // with room, the save goes through
        EXPECT_NE(home.read(s.target), old) << s.what;
    }
}

TEST_F(AtomicSave, SaveKilledAtAnyWriteLeavesTheOldOrTheNewFile) {
    for (const Save& s : saves()) {
        const std::string old = old_bytes(s.target);
        home.write(s.target, old);
        ASSERT_EQ(s.run(), 0) << s.what;
        const std::string saved = home.read(s.target);
        const rlim_t step = std::max<rlim_t>(256, saved.size() / 12);
        for (rlim_t limit = 0; limit <= saved.size() + step; limit += step) {
            home.write(s.target, old);
            const bool finished = run_limited(s.run, limit, true) == 0;
            EXPECT_EQ(home.read(s.target), finished ? saved : old) << s.what << " killed at " << limit;
            // Whatever the killed save left behind (a temporary file, a lock), the next one goes through.
            EXPECT_EQ(s.run(), 0) << s.what << " after a kill at " << limit;
        }
    }
}

TEST_F(AtomicSave, ReplacingKeepsPermissionsAndLinksAndRefusesOtherFiles) {
    const std::string data = path("data.k7p");
    home.write("data.k7p", "old");
    ::chmod(data.c_str(), 0640);
    fs::create_symlink(data, path("link.k7p"));
    tavplat::ReplacingFile f;
    ASSERT_TRUE(f.open(path("link.k7p").c_str(), "w"));
    std::fputs("new\n", f.get());
    ASSERT_TRUE(f.commit());
    EXPECT_TRUE(fs::is_symlink(path("link.k7p")));
    EXPECT_EQ(home.read("data.k7p"), "new\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(data.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // Dropped content leaves the target as it was and no temporary file.
    ASSERT_TRUE(f.open(data.c_str(), "w"));
    std::fputs("dropped\n", f.get());
    f.discard();
    EXPECT_EQ(home.read("data.k7p"), "new\r\n");
    EXPECT_TRUE(temporary_files().empty());

    // A FIFO, a device, a folder or a missing folder: refused at once.
    ASSERT_EQ(::mkfifo(path("fifo.k7p").c_str(), 0600), 0);
    fs::create_directory(path("folder.k7p"));
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& target : {path("fifo.k7p"), std::string("/dev/null"), path("folder.k7p"), path("no/x.k7p")})
        EXPECT_FALSE(f.open(target.c_str(), "w")) << target;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_TRUE(fs::is_fifo(path("fifo.k7p")));
    EXPECT_EQ(tav::para::Para_Wt(path("fifo.k7p").c_str(), para.get()), TAV_E_READ_ONLY);
}

// Two processes rewriting entries of servo.con: every rewrite lands whole, and
// none loses the other's.
TEST_F(AtomicSave, ConcurrentStationListRewritesNeverInterleave) {
    home.write("servo.con", "SERVO,  1\r\n2\r\n001,0,a\r\n002,0,b\r\n");
    constexpr int kRounds = 60;
    std::vector<std::unique_ptr<tavtest::Child>> children;
    for (int k = 0; k < 2; ++k)
        children.push_back(std::make_unique<tavtest::Child>([k] {
            int failures = 0;
            for (int i = 0; i < kRounds; ++i) {
                const std::string name = "writer" + std::to_string(k) + "-" + std::to_string(i);
                failures += tav::line::AmpData_Wt(k + 1, -1, name.c_str()) != 0;
                failures += tav::line::Amp_Wt(k == 0 ? "1" : "2") != 0;
            }
            return failures > 255 ? 255 : failures;
        }));
    int badReads = 0;
    for (int i = 0; i < 300; ++i) {
        int count = 0, station = 0, flag = 0;
        char name[500];
        badReads += tav::line::AmpData_Rd(2, 0, &count, &station, name, &flag) != 0 || count != 2;
    }
    for (auto& child : children) EXPECT_EQ(child->wait(), 0);  // no rewrite failed
    EXPECT_EQ(badReads, 0);  // a reader always saw a whole list
    const std::string list = home.read("servo.con");
    const std::string tail = "2\r\n001,0,writer0-59\r\n002,0,writer1-59\r\n";
    EXPECT_EQ(list.substr(list.find("\r\n") + 2), tail);  // the last rewrite of each, none lost
    EXPECT_TRUE(temporary_files().empty());
}
