#include "tests/gui/XvfbServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace guitest {

bool XvfbServer::start() {
    stop();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        why = "pipe failed";
        return false;
    }
    const pid_t child = fork();
    if (child < 0) {
        why = "fork failed";
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (child == 0) {
        // A test that crashes must not leave its server behind.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() == 1) _exit(127);
        // The write end must survive exec; Xvfb writes the number there.
        const int out = dup(fds[1]);
        const std::string fd = std::to_string(out);
        const int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, 0);
            dup2(devnull, 1);
            dup2(devnull, 2);
        }
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "2560x1440x24",
               "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    pid = child;

    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    for (;;) {
        const int r = poll(&p, 1, 15000);
        if (r <= 0) break;
        char c;
        const ssize_t n = read(fds[0], &c, 1);
        if (n <= 0 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        why = "Xvfb did not start (is it installed? apt-get install xvfb)";
        stop();
        return false;
    }
    name = ":" + number;
    setenv("DISPLAY", name.c_str(), 1);
    return true;
}

void XvfbServer::stop() {
    if (pid > 0) {
        kill(pid, SIGTERM);
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    }
    pid = -1;
    if (!name.empty()) unsetenv("DISPLAY");
    name.clear();
}

}  // namespace guitest
