#include "run.h"

#include "signals.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

double seconds(const timeval &t)
{
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// What poll should wait for a deadline this many seconds away, in whole
// milliseconds rounded up.
int ms_for(double left)
{
    return left <= 0 ? 0 : static_cast<int>(std::min(std::ceil(left * 1000), double{INT_MAX}));
}

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    void reset(int fd = -1)
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// One read, of what is there: a writer however fast cannot keep the caller
// here.  False at end of file.
bool read_once(int fd, std::string &into, bool &cut)
{
    char buf[16384];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    if (n == 0)
        return false;
    size_t room = capture_limit - std::min(capture_limit, into.size());
    size_t keep = std::min(room, static_cast<size_t>(n));
    into.append(buf, keep);
    cut = cut || keep < static_cast<size_t>(n);
    return true;
}

// Failures of the machine rather than of the program being started.
bool own_failure(int e)
{
    return e == EAGAIN || e == ENOMEM || e == EMFILE || e == ENFILE;
}

// A decimal number at s, as pid files and /proc write them.
bool parse_pid(const char *&s, pid_t &pid)
{
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(s, &end, 10);
    if (end == s || errno != 0 || v <= 0 || v > INT_MAX)
        return false;
    s = end;
    pid = static_cast<pid_t>(v);
    return true;
}

// The whole of a small file, such as those in /proc.
bool slurp(const char *path, std::string &into)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    into.clear();
    char buf[4096];
    for (;;) {
        ssize_t got = read(fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        into.append(buf, static_cast<size_t>(got));
    }
    close(fd);
    return true;
}

struct Proc {
    pid_t pid;
    pid_t parent;
    char state;
};

// Every process of the machine that /proc shows, with its parent and state.
std::vector<Proc> processes()
{
    std::vector<Proc> v;
    DIR *proc = opendir("/proc");
    if (proc == nullptr)
        return v;
    std::string text;
    char path[64];
    while (const dirent *e = readdir(proc)) {
        const char *name = e->d_name;
        pid_t pid = 0;
        pid_t parent = 0;
        if (!parse_pid(name, pid) || *name != '\0')
            continue;
        std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
        if (!slurp(path, text))
            continue;
        // "pid (comm) state ppid ...", where comm may hold anything.
        size_t paren = text.rfind(')');
        if (paren == std::string::npos || text.size() < paren + 4)
            continue;
        const char *s = text.c_str() + paren + 4;
        if (parse_pid(s, parent))
            v.push_back({pid, parent, text[paren + 2]});
    }
    closedir(proc);
    return v;
}

// What the new process needs, and where it leaves errno when it cannot
// start the program.
struct Child {
    char *const *argv;
    bool search; // look argv[0] up in PATH, as a shell does for a runner
    int in;
    int out;
    int err;
    const sigset_t *ignored;
    int error;
};

} // namespace

const sigset_t &ignored_signals()
{
    static const sigset_t set = [] {
        sigset_t s;
        sigemptyset(&s);
        for (int sig = 1; sig < NSIG; ++sig) {
            struct sigaction old {};
            if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
                sigaddset(&s, sig);
        }
        return s;
    }();
    return set;
}

namespace {

// Runs in the new process, on its own stack but in suite's memory until the
// exec, as posix_spawn's child does: only system calls, no allocation.
int start_child(void *arg)
{
    Child &c = *static_cast<Child *>(arg);
    // Its own process group, so that its end can end whatever it started;
    // default signal handling and no blocked signals, whatever suite has.
    if (setpgid(0, 0) != 0 || dup2(c.in, 0) < 0 || dup2(c.out, 1) < 0 || dup2(c.err, 2) < 0) {
        c.error = errno;
        _exit(127);
    }
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        if (sigismember(c.ignored, sig) == 1)
            sigaction(sig, &dfl, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (c.search)
        execvp(c.argv[0], c.argv);
    else
        execve(c.argv[0], c.argv, environ);
    c.error = errno;
    _exit(127);
}

// Starts the program the way a shell does, with vfork's sharing of memory
// until the exec, which costs a fraction of a copy; unlike posix_spawn, the
// child's stack is made once, not mapped and unmapped for every program.
// Returns its pid, with c.error set when it could not exec.
pid_t spawn(Child &c)
{
    alignas(16) static char stack[64 << 10];
    return clone(start_child, stack + sizeof stack, CLONE_VM | CLONE_VFORK | SIGCHLD, &c);
}

// The interpreter that a script's #! line names, as the kernel reads it: the
// first word after #!, within the line's first 256 bytes.
std::string interpreter_of(const std::string &path)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "";
    char buf[256];
    ssize_t n = read(fd, buf, sizeof buf);
    close(fd);
    if (n < 2 || buf[0] != '#' || buf[1] != '!')
        return "";
    std::string line(buf + 2, static_cast<size_t>(n) - 2);
    line.resize(std::min(line.size(), line.find('\n')));
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos)
        return "";
    return line.substr(start, line.find_first_of(" \t", start) - start);
}

void reap(pid_t pid, int *status, rusage *usage)
{
    while (wait4(pid, status, 0, usage) < 0 && errno == EINTR) {
    }
}

} // namespace

// The children of this process, living or not yet reaped.  The kernel lists
// them in /proc/self/task/TID/children; without that file, /proc/PID/stat
// names each process's parent.  A pid listed here stays this process's child
// until it reaps it, so it is safe to signal.
std::vector<pid_t> children()
{
    std::vector<pid_t> v;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%d/children", static_cast<int>(getpid()));
    std::string text;
    if (slurp(path, text)) {
        pid_t pid = 0;
        for (const char *s = text.c_str(); parse_pid(s, pid);)
            v.push_back(pid);
        return v;
    }
    const pid_t self = getpid();
    for (const Proc &p : processes())
        if (p.parent == self)
            v.push_back(p.pid);
    return v;
}

double now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

bool started(Run::End e)
{
    return e == Run::End::exited || e == Run::End::signalled || e == Run::End::timed_out || e == Run::End::stopped;
}

bool adopt_orphans()
{
    return prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
}

std::vector<pid_t> ended_children()
{
    std::vector<pid_t> v;
    for (pid_t k : children()) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(k), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == k)
            v.push_back(k);
    }
    return v;
}


bool has_children(pid_t pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/task/%d/children", static_cast<int>(pid), static_cast<int>(pid));
    std::string text;
    return slurp(path, text) && !text.empty();
}

std::vector<pid_t> freeze_descendants(const std::vector<pid_t> &spared)
{
    const pid_t self = getpid();
    std::vector<pid_t> stopped;
    // Stopped, a process forks no more; so stopping all that can be seen,
    // again until nothing is left running, ends with the whole tree still.
    for (int round = 0; round < 1000; ++round) {
        std::vector<Proc> all = processes();
        std::vector<pid_t> tree = {self};
        bool running = false;
        for (size_t i = 0; i < tree.size(); ++i)
            for (const Proc &p : all)
                if (p.parent == tree[i] && std::find(spared.begin(), spared.end(), p.pid) == spared.end()) {
                    tree.push_back(p.pid);
                    if (p.state != 'T' && p.state != 't' && p.state != 'Z' && p.state != 'X' &&
                        kill(p.pid, SIGSTOP) == 0) {
                        running = true;
                        stopped.push_back(p.pid);
                    }
                }
        if (!running)
            break;
    }
    return stopped;
}

int end_children(const std::vector<pid_t> &ended, int &unendable)
{
    // Children that could not be ended, from this run or before: never
    // waited for, reaped once they have ended by themselves.
    static std::vector<pid_t> left_alone;
    std::erase_if(left_alone, [](pid_t k) { return waitpid(k, nullptr, WNOHANG) == k; });
    int running = 0;
    for (;;) {
        std::vector<pid_t> kids = children();
        std::erase_if(kids, [](pid_t k) { return std::find(left_alone.begin(), left_alone.end(), k) != left_alone.end(); });
        for (pid_t k : kids)
            if (kill(k, SIGKILL) != 0 && errno == EPERM) {
                left_alone.push_back(k);
                ++unendable;
            }
        int reaped = 0;
        for (pid_t k : kids) {
            if (std::find(left_alone.begin(), left_alone.end(), k) != left_alone.end())
                continue;
            int status = 0;
            pid_t got = 0;
            while ((got = waitpid(k, &status, 0)) < 0 && errno == EINTR) {
            }
            if (got != k)
                continue;
            ++reaped;
            // A process that had ended by itself, or had been killed before
            // the program ended, was not left running.
            if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL &&
                std::find(ended.begin(), ended.end(), k) == ended.end())
                ++running;
        }
        // Killing a child hands its own children to this process; go on
        // until none is left.
        if (reaped == 0)
            return running;
    }
}

namespace {

// One program's run, in the phases of its life: start it, wait for it
// (reading its output as it comes), and finish it (end all it left and take
// the last of its output).  A failure is recorded in the run where it
// happens.
class Process {
public:
    Process(const Launch &l, const Stops &stops) : l_(l), stops_(stops) {}

    // Starts the program; false when it did not start, the run saying why.
    bool start()
    {
        struct stat st {};
        if (stat(l_.path.c_str(), &st) != 0) {
            run.end = Run::End::missing;
            run.code = errno;
            return false;
        }
        if (!S_ISREG(st.st_mode) || access(l_.path.c_str(), X_OK) != 0) {
            run.end = Run::End::not_executable;
            run.code = S_ISREG(st.st_mode) ? errno : 0;
            return false;
        }
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return fail("pipe", errno);
        out_.reset(fds[0]);
        Fd out_w(fds[1]);
        if (pipe2(fds, O_CLOEXEC) != 0)
            return fail("pipe", errno);
        err_.reset(fds[0]);
        Fd err_w(fds[1]);
        Fd input(open("/dev/null", O_RDONLY | O_CLOEXEC));
        if (input.get() < 0)
            return fail("open /dev/null", errno);

        std::vector<std::string> words = *l_.runner;
        words.push_back(l_.path);
        std::vector<char *> argv;
        argv.reserve(words.size() + 1);
        for (std::string &w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);

        // Room for all that is kept of the output, so that nothing is
        // allocated while the program runs; untouched, it costs no memory.
        run.out.reserve(capture_limit);
        run.err.reserve(capture_limit);

        Child c{argv.data(), !l_.runner->empty(), input.get(), out_w.get(), err_w.get(), &ignored_signals(), 0};
        start_ = clock();
        deadline_ = start_ + l_.limit;
        pid_ = spawn(c);
        const int spawn_errno = errno;
        out_w.reset();
        err_w.reset();
        if (pid_ < 0)
            return fail("clone", spawn_errno);
        if (c.error != 0) {
            int status = 0;
            reap(pid_, &status, nullptr);
            if (own_failure(c.error))
                return fail("execve", c.error);
            run.end = l_.runner->empty() ? Run::End::not_executable : Run::End::runner_failed;
            run.code = c.error;
            // A file that is there but "not found": its #! line names an
            // interpreter that is not.
            if (run.end == Run::End::not_executable && run.code == ENOENT)
                run.interpreter = interpreter_of(l_.path);
            return false;
        }
        if (stops_.pid != nullptr)
            stops_.pid->store(pid_);
        // The pidfd wakes the wait when the program ends; a program that
        // ends is left unreaped until its group is killed, so that its id,
        // which is the group's, cannot be reused in between.  Without one
        // the program is started, and so must still be finished.
        ended_.reset(static_cast<int>(syscall(SYS_pidfd_open, pid_, 0)));
        if (ended_.get() < 0)
            fail("pidfd_open", errno);
        fcntl(out_.get(), F_SETFL, O_NONBLOCK);
        fcntl(err_.get(), F_SETFL, O_NONBLOCK);
        return true;
    }

    // Until the program ends, its limit passes, or a stop comes.
    void wait()
    {
        while (ended_.get() >= 0) {
            pollfd p[5] = {{ended_.get(), POLLIN, 0},
                           {stops_.fd, stops_.events, 0},
                           {out_open_ ? out_.get() : -1, POLLIN, 0},
                           {err_open_ ? err_.get() : -1, POLLIN, 0},
                           {stops_.watched, 0, 0}};
            if (poll(p, 5, ms_for(deadline_ - clock())) < 0 && errno != EINTR) {
                fail("poll", errno);
                return;
            }
            read_output(p[2].revents, p[3].revents);
            if (p[0].revents != 0) {
                done_ = true;
                return;
            }
            if (p[1].revents != 0 || reader_gone(p[4].revents)) {
                run.end = Run::End::stopped;
                return;
            }
            if (clock() >= deadline_) {
                run.end = Run::End::timed_out;
                return;
            }
        }
    }

    // Ends the program and every process it left: those in its process
    // group and, since the caller is their subreaper, those that left it.
    // Then takes what is left of its output.
    void finish()
    {
        // What had already ended when the program did is not counted as
        // left running: its children that nobody reaped, handed to this
        // process.
        std::vector<pid_t> ended_before;
        if (done_)
            for (pid_t k : ended_children())
                if (k != pid_)
                    ended_before.push_back(k);
        // A tree that grows while it is killed is stopped whole first.
        if (!ended_before.empty() || children().size() > 1 || has_children(pid_))
            freeze_descendants({});
        kill(-pid_, SIGKILL);
        kill(pid_, SIGKILL); // in case it left its group
        int status = 0;
        rusage usage{};
        reap(pid_, &status, &usage);
        run.figures = {clock() - start_, seconds(usage.ru_utime), seconds(usage.ru_stime), usage.ru_maxrss};
        int unendable = 0;
        const int left = end_children(ended_before, unendable);
        if (stops_.pid != nullptr)
            stops_.pid->store(0);
        if (done_) {
            run.end = WIFSIGNALED(status) ? Run::End::signalled : Run::End::exited;
            run.code = WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status);
            run.left_running = left + unendable;
            run.unendable = unendable;
        }
        // Every writer of the program's tree has ended now, so what is left
        // in the pipes comes at once.  A process outside the tree may still
        // hold a pipe open, so the end of file is waited for only a moment.
        const double grace_end = std::min(clock() + late_grace, deadline_);
        for (int late = 0; (out_open_ || err_open_) && late < 64; ++late) {
            pollfd p[2] = {{out_open_ ? out_.get() : -1, POLLIN, 0}, {err_open_ ? err_.get() : -1, POLLIN, 0}};
            if (poll(p, 2, ms_for(grace_end - clock())) <= 0)
                break;
            read_output(p[0].revents, p[1].revents);
        }
    }

    Run run;

private:
    // The run's clock leaves out the time that suite spent stopped, and the
    // program with it.
    double clock() const { return now() - (stops_.paused != nullptr ? stops_.paused->load() : 0); }

    bool fail(const char *what, int code)
    {
        run.end = Run::End::failed;
        run.what = what;
        run.code = code;
        return false;
    }

    void read_output(short out_revents, short err_revents)
    {
        if (out_revents != 0)
            out_open_ = read_once(out_.get(), run.out, run.out_cut);
        if (err_revents != 0)
            err_open_ = read_once(err_.get(), run.err, run.err_cut);
    }

    const Launch &l_;
    const Stops &stops_;
    Fd out_; // the read ends of the program's standard output and error
    Fd err_;
    Fd ended_; // the program's pidfd
    pid_t pid_ = -1;
    double start_ = 0;
    double deadline_ = 0;
    bool out_open_ = true;
    bool err_open_ = true;
    bool done_ = false; // the program ended by itself
};

} // namespace

Run run(const Launch &l, const Stops &stops)
{
    Process p(l, stops);
    if (p.start()) {
        p.wait();
        p.finish();
    }
    return std::move(p.run);
}
