#include "host/core/definitions.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "Tav_acs.h"
#include "host/core/target.h"

namespace tavhost::core {

namespace fs = std::filesystem;

namespace {

const char* const kDefinitionsVariable = "WYN_DEF_HOME";

std::string program_folder() {
    if (const char* dir = std::getenv("TAV_HOST_DIR"); dir != nullptr && *dir != '\0') return dir;
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

}  // namespace

std::string line_installation() {
    const char* home = std::getenv("WYN_HOME");
    std::string folder = home != nullptr && *home != '\0' ? home : program_folder();
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

Outcome operator_installation(std::string& folder) {
    const std::string line = line_installation();
    const std::string ini = line + "/wyn.ini";
    folder = ini_value(ini, "Installations", "Operator");
    if (folder.empty()) return failure(TAV_E_NO_FILE, Msg::NoOperatorInstallation, {line, ini});
    if (folder[0] != '/') folder = line + "/" + folder;
    std::error_code ec;
    if (!fs::is_directory(folder + "/def", ec)) return failure(TAV_E_NO_FILE, Msg::OperatorDefinitionsMissing, {folder, ini});
    return success();
}

OperatorDefinitions::OperatorDefinitions() {
    std::string folder;
    outcome_ = operator_installation(folder);
    if (!outcome_.ok()) return;
    if (const char* previous = std::getenv(kDefinitionsVariable)) {
        hadPrevious_ = true;
        previous_ = previous;
    }
    pointed_ = ::setenv(kDefinitionsVariable, folder.c_str(), 1) == 0;
}

OperatorDefinitions::~OperatorDefinitions() {
    if (!pointed_) return;
    if (hadPrevious_) ::setenv(kDefinitionsVariable, previous_.c_str(), 1);
    else ::unsetenv(kDefinitionsVariable);
}

}  // namespace tavhost::core
