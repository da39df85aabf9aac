#include "signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

constexpr int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};

} // namespace

int catch_stop_signals()
{
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    struct sigaction ign {};
    ign.sa_handler = SIG_IGN;
    if (sigaction(SIGCHLD, &dfl, nullptr) != 0 || sigaction(SIGPIPE, &ign, nullptr) != 0)
        return -1;
    sigset_t set;
    sigemptyset(&set);
    for (int sig : stop_signals) {
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) != 0)
            return -1;
        if (old.sa_handler != SIG_IGN)
            sigaddset(&set, sig);
    }
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0)
        return -1;
    return signalfd(-1, &set, SFD_CLOEXEC);
}

int caught_signal(int fd)
{
    signalfd_siginfo info{};
    ssize_t n = 0;
    while ((n = read(fd, &info, sizeof info)) < 0 && errno == EINTR) {
    }
    return n == sizeof info ? static_cast<int>(info.ssi_signo) : SIGTERM;
}

void die_by(int sig)
{
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigaction(sig, &dfl, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    kill(getpid(), sig);
    std::_Exit(128 + sig);
}
