#include "jobs.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>
#include <new>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "signals.h"

namespace {

std::string system_error(const char *what, int e)
{
    return std::string(what) + ": " + std::strerror(e);
}

// A failed run is suite's failure, not the program's.
std::string run_error(const Launch &l, const Run &r)
{
    return "cannot run " + l.path + ": " + system_error(r.what, r.code);
}

// What a keeper hands back of a run, in memory shared with suite.  The
// output and the interpreter's name lie end to end, so that a run that
// printed little touches one page of it.
struct Slot {
    Run::End end;
    int code;
    const char *what; // a string literal, at the same address in both processes
    int left_running;
    int unendable;
    Figures figures;
    bool out_cut;
    bool err_cut;
    size_t out_size;
    size_t err_size;
    size_t interpreter_size;
    char text[2 * capture_limit + 256];
};

void put(Slot &s, const Run &r)
{
    s.end = r.end;
    s.code = r.code;
    s.what = r.what;
    s.left_running = r.left_running;
    s.unendable = r.unendable;
    s.figures = r.figures;
    s.out_cut = r.out_cut;
    s.err_cut = r.err_cut;
    s.out_size = std::min(r.out.size(), capture_limit);
    s.err_size = std::min(r.err.size(), capture_limit);
    s.interpreter_size = std::min(r.interpreter.size(), size_t{256});
    std::memcpy(s.text, r.out.data(), s.out_size);
    std::memcpy(s.text + s.out_size, r.err.data(), s.err_size);
    std::memcpy(s.text + s.out_size + s.err_size, r.interpreter.data(), s.interpreter_size);
}

Run take(const Slot &s)
{
    Run r;
    r.end = s.end;
    r.code = s.code;
    r.what = s.what;
    r.left_running = s.left_running;
    r.unendable = s.unendable;
    r.figures = s.figures;
    r.out_cut = s.out_cut;
    r.err_cut = s.err_cut;
    r.out.assign(s.text, s.out_size);
    r.err.assign(s.text + s.out_size, s.err_size);
    r.interpreter.assign(s.text + s.out_size + s.err_size, s.interpreter_size);
    return r;
}

// What suite and one keeper share: the program it runs and when it
// started, so that suite can end the program if the keeper is lost, and a
// slot for each of the two runs that may be in flight.
struct Shared {
    std::atomic<int> program{0};  // the running program's pid, 0 between runs
    std::atomic<double> started{0}; // when the current or last run started, on the check's clock
    std::atomic<double> paused{0};  // seconds suite has spent stopped, which the check's clock leaves out
    Slot slots[2];                  // run k of this keeper's in slots[k % 2]
};

// Seconds past a run's time limit that suite waits for its keeper to answer,
// and after a stop for every keeper to finish.
constexpr double keeper_grace = 2;

// The status a keeper ends with when it fails itself, which no program can
// make it end with: suite's own failure, not the program's.
constexpr int keeper_failed = 125;

// How many runs suite gives a keeper ahead, so that it starts the next
// without waiting for suite to take the last.
constexpr size_t ahead = 2;

bool hung_up(int fd)
{
    pollfd p = {fd, 0, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR)) != 0;
}

// Whether a read from fd would not wait: there is data, or its end.
bool readable(int fd)
{
    pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

// A keeper: reads the index of a step to run, runs it, puts the run in its
// slot and writes the index back; ends when it reads an index past the
// plan's last step, which suite sends once it has given every step, or at
// suite's hang-up.  The hang-up, which suite's end makes too, stops a run
// and ends the keeper, never a run waiting in the pipe.  The terminal's
// signals are suite's to act on, not the keeper's.
[[noreturn]] void keep(const std::vector<Launch> &launches, const Plan &plan, int requests, int results, Shared &sh)
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE})
        sigaddset(&set, sig);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    adopt_orphans();
    for (std::uint64_t k = 0;; ++k) {
        std::uint32_t index = 0;
        ssize_t n = 0;
        while ((n = read(requests, &index, sizeof index)) < 0 && errno == EINTR) {
        }
        if (n != sizeof index || index >= plan.steps() || hung_up(requests))
            _exit(0);
        sh.started.store(now() - sh.paused.load());
        // Nothing may unwind out of here into the rest of suite: a keeper
        // that fails ends, and suite reports it.
        try {
            put(sh.slots[k % 2], run(launches[plan.cell(index)], Stops{requests, 0, -1, &sh.program, &sh.paused}));
        } catch (...) {
            _exit(keeper_failed);
        }
        if (write(results, &index, sizeof index) != sizeof index)
            _exit(keeper_failed);
    }
}

struct Keeper {
    pid_t pid = -1;    // -1 once reaped
    int pidfd = -1;    // readable when the keeper ends
    int requests = -1; // suite writes here, -1 once closed
    int results = -1;  // and reads here
    std::deque<size_t> in_flight; // the steps given and not yet answered, in order
    std::uint64_t answered = 0;   // runs taken back, which tells the slot of the next
    bool told_end = false;        // sent the index past the last step
};

void close_fd(int &fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

// Whether the process is stopped, by its state in /proc.
bool is_stopped(pid_t pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    std::FILE *f = std::fopen(path, "re");
    if (f == nullptr)
        return false;
    char buf[512] = "";
    size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = '\0';
    const char *paren = std::strrchr(buf, ')');
    return paren != nullptr && (paren[2] == 'T' || paren[2] == 't');
}

class Keepers {
public:
    Keepers(const std::vector<Launch> &launches, const Plan &plan, size_t count, std::vector<pid_t> inherited)
        : launches_(launches), plan_(plan), keepers_(count), inherited_(std::move(inherited))
    {
    }
    Keepers(const Keepers &) = delete;
    Keepers &operator=(const Keepers &) = delete;

    // Whatever is left ends here: a keeper that is stopped or stuck would
    // never end by itself.
    ~Keepers()
    {
        for (Keeper &k : keepers_)
            end_keeper(k);
        sweep();
        if (shared_ != nullptr)
            munmap(shared_, keepers_.size() * sizeof(Shared));
    }

    std::string start()
    {
        void *shared = mmap(nullptr, keepers_.size() * sizeof(Shared), PROT_READ | PROT_WRITE,
                            MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (shared == MAP_FAILED)
            return system_error("mmap", errno);
        shared_ = static_cast<Shared *>(shared);
        // Asked here, before the keepers copy this process, rather than by
        // each keeper; the mapping is zeros already, and a page of it that
        // no run writes costs nothing, so it is not cleared again.
        ignored_signals();
        for (size_t i = 0; i < keepers_.size(); ++i) {
            new (&shared_[i]) Shared;
            if (std::string e = start_one(i); !e.empty())
                return e;
        }
        return "";
    }

    Outcome run(int stop_fd, const std::function<void(size_t, Run &&)> &finished)
    {
        Outcome o;
        int watched = output_to_watch();
        double stop_deadline = 0;
        auto stop = [&]() {
            if (stopping_)
                return;
            stopping_ = true;
            stop_deadline = clock() + keeper_grace;
            for (Keeper &k : keepers_)
                close_fd(k.requests);
        };
        for (size_t i = 0; i < keepers_.size(); ++i)
            if (!give(keepers_[i]))
                lose(i, o, finished, false);
        for (;;) {
            if (std::all_of(keepers_.begin(), keepers_.end(), [](const Keeper &k) { return k.in_flight.empty(); }))
                return o;
            // Every keeper's results and end, the stop signals, and the
            // reader of standard output, until the first deadline.
            std::vector<pollfd> p;
            p.push_back({stopping_ ? -1 : stop_fd, POLLIN, 0});
            p.push_back({stopping_ ? -1 : watched, 0, 0});
            double deadline = stopping_ ? stop_deadline : INFINITY;
            for (size_t i = 0; i < keepers_.size(); ++i) {
                const Keeper &k = keepers_[i];
                const bool busy = !k.in_flight.empty();
                p.push_back({busy ? k.results : -1, POLLIN, 0});
                p.push_back({busy ? k.pidfd : -1, POLLIN, 0});
                if (busy)
                    deadline = std::min(deadline, shared_[i].started.load() + plan_limit() + keeper_grace);
            }
            const double left = deadline - clock();
            const int wait = std::isinf(deadline) ? -1 : left <= 0 ? 0 : static_cast<int>(std::ceil(left * 1000));
            if (poll(p.data(), p.size(), wait) < 0) {
                if (errno == EINTR)
                    continue;
                o.error = system_error("poll", errno);
                stop();
                continue;
            }
            // A reader gone raises SIGPIPE, which the next round reads.
            if (reader_gone(p[1].revents))
                watched = -1;
            // A SIGPIPE from writing to a keeper that has gone is no stop;
            // only one from standard output is.
            if (p[0].revents != 0) {
                const int sig = caught_signal(stop_fd);
                if (is_pause(sig)) {
                    pause(sig);
                    continue;
                }
                if (sig != SIGPIPE || output_gone()) {
                    o.signal = sig;
                    stop();
                }
            }
            const double t = clock();
            for (size_t i = 0; i < keepers_.size(); ++i) {
                Keeper &k = keepers_[i];
                if (k.in_flight.empty())
                    continue;
                if ((p[2 + 2 * i].revents != 0 || p[3 + 2 * i].revents != 0) && !take(i, o, finished, stop))
                    continue;
                const bool late = t >= (stopping_ ? stop_deadline
                                                  : shared_[i].started.load() + plan_limit() + keeper_grace);
                if (!k.in_flight.empty() && (p[3 + 2 * i].revents != 0 || late))
                    lose(i, o, finished, p[3 + 2 * i].revents == 0);
                else if (!stopping_ && !give(k))
                    lose(i, o, finished, false);
            }
        }
    }

private:
    // Seconds on the check's clock, which leaves out the time that suite
    // spent stopped.
    double clock() const { return now() - paused_; }

    // The terminal stops suite: its keepers and programs stop first, and
    // go on when it does, and the time between counts for none of them.
    void pause(int sig)
    {
        const double t = now();
        std::vector<pid_t> stopped = freeze_descendants(inherited_);
        stop_by(sig);
        paused_ += now() - t;
        for (size_t i = 0; i < keepers_.size(); ++i)
            shared_[i].paused.store(paused_);
        for (pid_t pid : stopped)
            kill(pid, SIGCONT);
    }

    double plan_limit() const { return launches_.empty() ? 0 : launches_.front().limit; }

    std::string start_one(size_t i)
    {
        int req[2];
        int res[2];
        if (pipe2(req, O_CLOEXEC) != 0)
            return system_error("pipe", errno);
        if (pipe2(res, O_CLOEXEC) != 0) {
            int e = errno;
            close(req[0]);
            close(req[1]);
            return system_error("pipe", e);
        }
        // Nothing buffered may be written twice by a keeper's copy of it.
        std::fflush(nullptr);
        pid_t pid = fork();
        if (pid < 0) {
            int e = errno;
            for (int fd : {req[0], req[1], res[0], res[1]})
                close(fd);
            return system_error("fork", e);
        }
        if (pid == 0) {
            // Another keeper's request pipe held open here would never let
            // that keeper see its end.
            for (Keeper &other : keepers_) {
                close_fd(other.requests);
                close_fd(other.results);
                close_fd(other.pidfd);
            }
            close(req[1]);
            close(res[0]);
            keep(launches_, plan_, req[0], res[1], shared_[i]);
        }
        close(req[0]);
        close(res[1]);
        Keeper &k = keepers_[i];
        k = Keeper{};
        k.pid = pid;
        k.requests = req[1];
        k.results = res[0];
        k.pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        shared_[i].program.store(0);
        shared_[i].started.store(clock());
        if (k.pidfd < 0)
            return system_error("pidfd_open", errno);
        return "";
    }

    // Gives keeper k steps up to the number it may have ahead, or lets it
    // end when there are none; false when the keeper cannot be reached.
    bool give(Keeper &k)
    {
        while (k.requests >= 0 && k.in_flight.size() < ahead && (!again_.empty() || next_ < plan_.steps())) {
            size_t step = again_.empty() ? next_ : again_.front();
            auto index = static_cast<std::uint32_t>(step);
            if (write(k.requests, &index, sizeof index) != sizeof index)
                return false;
            k.in_flight.push_back(step);
            if (again_.empty())
                ++next_;
            else
                again_.pop_front();
        }
        // Out of steps, it is told so, and ends after its last answer while
        // suite goes on with its own work.
        if (k.requests >= 0 && again_.empty() && next_ >= plan_.steps()) {
            if (k.in_flight.empty()) {
                close_fd(k.requests);
            } else if (!k.told_end) {
                auto end = static_cast<std::uint32_t>(plan_.steps());
                if (write(k.requests, &end, sizeof end) != sizeof end)
                    return false;
                k.told_end = true;
            }
        }
        return true;
    }

    // Takes back every run keeper i has answered, which comes before its
    // end; false when the keeper is lost.
    template <typename Stop>
    bool take(size_t i, Outcome &o, const std::function<void(size_t, Run &&)> &finished, Stop stop)
    {
        Keeper &k = keepers_[i];
        while (!k.in_flight.empty() && readable(k.results)) {
            std::uint32_t index = 0;
            ssize_t n = read(k.results, &index, sizeof index);
            if (n < 0 && errno == EINTR)
                continue;
            if (n != sizeof index || index != k.in_flight.front()) {
                lose(i, o, finished, false);
                return false;
            }
            k.in_flight.pop_front();
            Run r = ::take(shared_[i].slots[k.answered++ % 2]);
            if (r.end == Run::End::failed) {
                if (o.error.empty())
                    o.error = run_error(launches_[plan_.cell(index)], r);
                stop();
            } else if (r.end != Run::End::stopped) {
                finished(index, std::move(r));
            }
        }
        return true;
    }

    // Keeper i is gone, or late (stopped, or stuck past its run's limit):
    // it is ended with its program and all that program left, the program
    // it ran is reported, what was given it ahead is given again, and a new
    // keeper takes its place.
    void lose(size_t i, Outcome &o, const std::function<void(size_t, Run &&)> &finished, bool late)
    {
        Keeper &k = keepers_[i];
        const bool stopped = late && k.pid > 0 && is_stopped(k.pid);
        int status = 0;
        // One that went away is waited for, to learn how it ended.
        const bool ended = !late && k.pid > 0 && waitpid(k.pid, &status, 0) == k.pid;
        if (ended)
            k.pid = -1;
        end_keeper(k);
        // What the keeper left is this process's now: stopped whole, but
        // for the other keepers and what it inherited, then killed.
        std::vector<pid_t> spared = inherited_;
        for (const Keeper &other : keepers_)
            if (other.pid > 0)
                spared.push_back(other.pid);
        freeze_descendants(spared);
        if (int program = shared_[i].program.exchange(0); program > 0) {
            kill(-program, SIGKILL);
            kill(program, SIGKILL);
        }
        sweep();
        if (ended && WIFEXITED(status) && WEXITSTATUS(status) == keeper_failed && !stopping_) {
            if (o.error.empty())
                o.error = "a keeper process failed";
            stopping_ = true;
            for (Keeper &other : keepers_)
                close_fd(other.requests);
        }
        if (!k.in_flight.empty() && !stopping_) {
            Run r;
            r.end = Run::End::keeper_lost;
            r.code = stopped ? 0 : !ended ? -1 : WIFSIGNALED(status) ? WTERMSIG(status) : 256 + WEXITSTATUS(status);
            finished(k.in_flight.front(), std::move(r));
            k.in_flight.pop_front();
        }
        for (auto s = k.in_flight.rbegin(); s != k.in_flight.rend(); ++s)
            again_.push_front(*s);
        k.in_flight.clear();
        if (stopping_ || (again_.empty() && next_ >= plan_.steps()))
            return;
        if (std::string e = start_one(i); !e.empty()) {
            if (o.error.empty())
                o.error = "cannot start a keeper process: " + e;
            stopping_ = true;
            for (Keeper &other : keepers_)
                close_fd(other.requests);
            return;
        }
        if (!give(k))
            lose(i, o, finished, false);
    }

    void end_keeper(Keeper &k)
    {
        close_fd(k.requests);
        close_fd(k.results);
        if (k.pid > 0) {
            // One that ends by itself within a moment is let be; a stopped
            // or stuck one is killed.
            pollfd p = {k.pidfd, POLLIN, 0};
            if (k.pidfd < 0 || poll(&p, 1, 100) != 1)
                kill(k.pid, SIGKILL);
            while (waitpid(k.pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
        close_fd(k.pidfd);
        k.pid = -1;
    }

    // Ends what a lost keeper left, which this process, their subreaper,
    // now has as children: all of its children but the keepers and those it
    // inherited.
    void sweep()
    {
        for (int round = 0; round < 1000; ++round) {
            int reaped = 0;
            for (pid_t c : children()) {
                if (std::find(inherited_.begin(), inherited_.end(), c) != inherited_.end() ||
                    std::any_of(keepers_.begin(), keepers_.end(), [c](const Keeper &k) { return k.pid == c; }))
                    continue;
                if (kill(c, SIGKILL) != 0 && errno == EPERM)
                    continue;
                if (waitpid(c, nullptr, 0) == c)
                    ++reaped;
            }
            if (reaped == 0)
                return;
        }
    }

    const std::vector<Launch> &launches_;
    const Plan &plan_;
    std::vector<Keeper> keepers_;
    std::vector<pid_t> inherited_; // children this process had before the check, left alone
    Shared *shared_ = nullptr;
    size_t next_ = 0;              // the next step never given
    std::deque<size_t> again_;     // steps to give again, ahead of next_
    bool stopping_ = false;
    double paused_ = 0;            // seconds spent stopped
};

} // namespace

Outcome run_all(const std::vector<Launch> &launches, const Plan &plan, int jobs, int stop_fd,
                const std::function<void(size_t, Run &&)> &finished)
{
    // This process is the subreaper of the keepers, so that nothing of a
    // lost keeper escapes it; a child it inherited is left alone.
    const size_t places = std::max<size_t>(1, std::min(plan.steps(), static_cast<size_t>(std::max(jobs, 1))));
    std::vector<pid_t> inherited = children();
    adopt_orphans();
    Keepers keepers(launches, plan, places, std::move(inherited));
    if (std::string e = keepers.start(); !e.empty()) {
        Outcome o;
        o.error = "cannot start a keeper process: " + e;
        return o;
    }
    return keepers.run(stop_fd, finished);
}
