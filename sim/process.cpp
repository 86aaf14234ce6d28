#include "sim/process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavsim {

ServoSimProcess::ServoSimProcess(std::vector<std::string> args) {
    int fds[2];
    if (args.empty() || ::pipe(fds) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        ::close(fds[1]);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    // Its first line on stdout says it listens (or why it could not start).
    char c;
    pollfd p{fds[0], POLLIN, 0};
    while (::poll(&p, 1, 10000) > 0 && ::read(fds[0], &c, 1) == 1) {
        if (c == '\n') {
            ready_ = line_.rfind("servo-sim ready", 0) == 0;
            break;
        }
        line_.push_back(c);
    }
    ::close(fds[0]);
}

int ServoSimProcess::stop() {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ServoSimProcess::reload() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGHUP);
    // It notices the request at its next wake-up (at most 200 ms when idle).
    ::usleep(300 * 1000);
}

ServoSimProcess::~ServoSimProcess() { stop(); }

}  // namespace tavsim
