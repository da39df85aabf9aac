// Running one program: on its own or under a runner, with standard input from
// /dev/null, its standard output and standard error captured apart, a time
// limit, and nothing of it left running afterwards.
#ifndef SUITE_RUN_H
#define SUITE_RUN_H

#include <poll.h>
#include <signal.h>
#include <sys/types.h>

#include <atomic>

#include <cstddef>
#include <string>
#include <vector>

// What one run cost, as the kernel accounts it for the program's process.
struct Figures {
    double wall = 0; // seconds from start to reap, monotonic clock
    double user = 0; // CPU seconds, the program and the children it reaped
    double sys = 0;
    long peak_kib = 0; // peak resident memory, ru_maxrss
};

struct Launch {
    std::string path;                       // DIR/NAME
    const std::vector<std::string> *runner; // words put before the path; empty to run it alone
    double limit;                           // seconds
};

struct Run {
    enum class End {
        exited,
        signalled,
        timed_out,
        stopped,        // stop_fd became readable first
        missing,        // code: errno of stat
        not_executable, // code: errno, or 0 when not a regular file
        runner_failed,  // code: errno of starting the runner
        keeper_lost,    // the process that ran it did not answer in time (code -1), was
                        // stopped (0) or ended (its signal, or 256 + its status)
        failed,         // suite's own failure: what failed, with errno in code
    };
    End end = End::failed;
    int code = 0; // exit status, signal number or errno, as End says
    const char *what = "";
    std::string out;
    std::string err;
    std::string interpreter; // when not_executable for want of the #! line's interpreter
    bool out_cut = false;
    bool err_cut = false;
    int left_running = 0; // processes still running when the program ended
    int unendable = 0;    // of those, the ones that could not be signalled, left to end by themselves
    Figures figures;      // when it started
};

bool started(Run::End e);

// Output beyond this is read and dropped, so that a runaway writer costs
// nothing but time; a contract's output must be shorter.
constexpr std::size_t capture_limit = std::size_t{64} << 10;

// Seconds that the end of a program's output is waited for once its tree has
// ended, in case a process outside the tree holds its pipes open.
constexpr double late_grace = 0.05;

// What ends a run before its program does, and who is told its pid.
struct Stops {
    int fd = -1;           // the stop signals, or a keeper's requests from suite
    short events = POLLIN; // what of fd stops the run: POLLIN, or 0 for a hang-up alone
    int watched = -1;      // standard output, watched for its reader's end
    std::atomic<int> *pid = nullptr; // set to the program's pid while it runs, and back to 0
    const std::atomic<double> *paused = nullptr; // seconds suite has spent stopped, left out of the run's time
};

// Runs the program to its end, its time limit, or until a stop, and then
// ends every process it left: those in its process group and, since the
// caller is their subreaper, those that left it.
Run run(const Launch &l, const Stops &stops);

// The signals that the calling process ignores, which a program would
// inherit ignored and so has put back to their defaults.  Asked once, the
// first time, before keepers copy this process.
const sigset_t &ignored_signals();

// Makes the calling process the subreaper of its descendants, so that run()
// can find what a program left behind.
bool adopt_orphans();

// The children of the calling process, living or not yet reaped: one that a
// shell left it when it ran suite with exec, for example.
std::vector<pid_t> children();

// Seconds on the monotonic clock.
double now();

// Whether the process has children of its own.
bool has_children(pid_t pid);

// Stops every descendant of the calling process but the spared children and
// theirs, over again until none is left running, so that a tree that forks
// without end can be killed whole.  Returns those it stopped.
std::vector<pid_t> freeze_descendants(const std::vector<pid_t> &spared);

// The children of the calling process that have ended and wait to be reaped.
std::vector<pid_t> ended_children();

// Kills and reaps every child of the calling process; returns how many were
// still running, not counting those in ended.  A child that may not be
// signalled (a set-user-ID program's, say) is never waited for: it is
// counted in unendable and left alone from then on, here and in later calls.
int end_children(const std::vector<pid_t> &ended, int &unendable);

#endif
