#include "signals.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/signalfd.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <cstdlib>

namespace {

// Every signal whose default is to end a process and that can be caught,
// but for the faults a process causes itself (SIGSEGV and the like).
// SIGPIPE comes when standard output's reader has gone.
constexpr int stop_signals[] = {SIGHUP,    SIGINT,  SIGQUIT, SIGTERM, SIGUSR1,   SIGUSR2,  SIGALRM, SIGVTALRM,
                                SIGPROF,   SIGIO,   SIGPWR,  SIGXCPU, SIGXFSZ,   SIGSTKFLT, SIGPIPE};

// The terminal's stops, which pause the check rather than end it.
constexpr int pause_signals[] = {SIGTSTP, SIGTTIN, SIGTTOU};

} // namespace

int catch_stop_signals()
{
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    if (sigaction(SIGCHLD, &dfl, nullptr) != 0)
        return -1;
    sigset_t set;
    sigemptyset(&set);
    auto take = [&set](int sig) {
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) != 0)
            return false;
        if (old.sa_handler != SIG_IGN)
            sigaddset(&set, sig);
        return true;
    };
    for (int sig : stop_signals)
        if (!take(sig))
            return -1;
    for (int sig : pause_signals)
        if (!take(sig))
            return -1;
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig)
        if (!take(sig))
            return -1;
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0)
        return -1;
    return signalfd(-1, &set, SFD_CLOEXEC);
}

int output_to_watch()
{
    struct stat st {};
    struct sigaction old {};
    sigset_t blocked;
    const bool caught = sigaction(SIGPIPE, nullptr, &old) == 0 && old.sa_handler != SIG_IGN &&
                        sigprocmask(SIG_BLOCK, nullptr, &blocked) == 0 && sigismember(&blocked, SIGPIPE) == 1;
    return caught && fstat(1, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) ? 1 : -1;
}

bool reader_gone(short revents)
{
    if ((revents & POLLERR) == 0)
        return false;
    raise(SIGPIPE);
    return true;
}

bool output_gone()
{
    pollfd p = {1, 0, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLERR) != 0;
}

int caught_signal(int fd)
{
    signalfd_siginfo info{};
    ssize_t n = 0;
    while ((n = read(fd, &info, sizeof info)) < 0 && errno == EINTR) {
    }
    return n == sizeof info ? static_cast<int>(info.ssi_signo) : SIGTERM;
}

bool is_pause(int sig)
{
    return std::find(std::begin(pause_signals), std::end(pause_signals), sig) != std::end(pause_signals);
}

void stop_by(int sig)
{
    // Sent again and let through once, it stops suite as if never caught,
    // or is dropped, as the kernel drops it where nobody could continue
    // suite (an orphaned process group).
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    kill(getpid(), sig);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    sigprocmask(SIG_BLOCK, &set, nullptr);
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
