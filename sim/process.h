#pragma once
// servo-sim as a child process, for the tests, the benchmarks and the tools
// that drive a line on a pseudo-terminal.
#include <sys/types.h>

#include <string>
#include <vector>

namespace tavsim {

class ServoSimProcess {
public:
    // args: the program, then its options; ready once it printed its ready line.
    explicit ServoSimProcess(std::vector<std::string> args);
    ~ServoSimProcess();
    ServoSimProcess(const ServoSimProcess&) = delete;
    ServoSimProcess& operator=(const ServoSimProcess&) = delete;
    bool ready() const { return ready_; }
    const std::string& ready_line() const { return line_; }
    // SIGTERM and wait; the exit status (-1 when it did not end normally).
    int stop();
    // SIGHUP: servo-sim re-reads its state file (given time to do so).
    void reload();

private:
    pid_t pid_ = -1;
    bool ready_ = false;
    std::string line_;
};

}  // namespace tavsim
