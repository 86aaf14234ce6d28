// The bash completion and the manual pages made at build time: every command
// and option of the `tav --help` tree completes, and has its section in tav(1).
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "fixtures/child_process.h"
#include "fixtures/temp_dirs.h"

namespace {

using tavtest::output_of;

const std::string kTav = std::string(TAV_BUILD_DIR) + "/bin/tav --lang en ";

// The words of one section of a help text: subcommands, or options (both spellings).
std::set<std::string> help_words(const std::string& help, const std::string& section) {
    std::set<std::string> words;
    std::istringstream in(help);
    std::string line;
    bool inside = false;
    const std::regex option("^  (?:(-[a-zA-Z]),)?(--[a-z-]+).*"), command("^  ([a-z-]+) .*");
    std::smatch m;
    while (std::getline(in, line)) {
        if (line.rfind(section, 0) == 0) inside = true;
        else if (!line.empty() && line[0] != ' ') inside = false;
        else if (inside && section == "Options:" && std::regex_match(line, m, option)) {
            if (m[1].matched) words.insert(m[1]);
            words.insert(m[2]);
        } else if (inside && section != "Options:" && std::regex_match(line, m, command)) {
            words.insert(m[1]);
        }
    }
    return words;
}

// What the completion offers after `tav WORDS... <empty word>`.
std::set<std::string> completions(const std::vector<std::string>& words) {
    std::string list = "tav";
    for (const auto& w : words) list += " " + w;
    const std::string script = "source " TAV_BUILD_DIR "/completion/tav.bash; COMP_WORDS=(" + list + " ''); COMP_CWORD=" +
                               std::to_string(words.size() + 1) + "; _tav; printf '%s\\n' \"${COMPREPLY[@]}\"";
    std::set<std::string> out;
    std::istringstream in(output_of("bash -c \"" + std::regex_replace(script, std::regex("([\"$])"), "\\$1") + "\""));
    std::string line;
    while (std::getline(in, line)) out.insert(line);
    return out;
}

void expect_offered(const std::vector<std::string>& path, const std::string& help) {
    const std::set<std::string> offered = completions(path);
    for (const char* section : {"Options:", "Subcommands:", "Actions"})
        for (const std::string& w : help_words(help, section))
            EXPECT_TRUE(offered.count(w)) << "tav " << ::testing::PrintToString(path) << ": " << w << " is not completed";
}

TEST(HostCompletion, EveryCommandAndOptionOfTheHelpTreeCompletes) {
    const std::string top = output_of(kTav + "--help");
    const std::set<std::string> commands = help_words(top, "Subcommands:");
    ASSERT_TRUE(commands.count("backup") && commands.count("import")) << top;
    expect_offered({}, top);
    const std::string man = tavtest::read_file(TAV_BUILD_DIR "/man/man1/tav.1");
    for (const std::string& c : commands) {
        const std::string help = output_of(kTav + "help " + c);
        expect_offered({c}, help);
        EXPECT_NE(man.find(".SS " + c + "\n"), std::string::npos) << c << " has no section in tav(1)";
        for (const std::string& sub : help_words(help, "Subcommands:"))
            expect_offered({c, sub}, output_of(kTav + "help " + c + " " + sub));
    }
    EXPECT_EQ(completions({"--lang"}), (std::set<std::string>{"en", "ja"}));
    EXPECT_NE(tavtest::read_file(TAV_BUILD_DIR "/man/man1/servo-sim.1").find("--state"), std::string::npos);
}

}  // namespace
