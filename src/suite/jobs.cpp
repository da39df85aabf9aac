#include "jobs.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

Outcome one_at_a_time(const std::vector<Launch> &launches, const Plan &plan, int stop_fd,
                      const std::function<void(size_t, Run &&)> &finished)
{
    Outcome o;
    const int watched = output_to_watch();
    for (size_t i = 0; i < plan.steps(); ++i) {
        const Launch &l = launches[plan.cell(i)];
        pollfd p[2] = {{stop_fd, POLLIN, 0}, {watched, 0, 0}};
        if (poll(p, 2, 0) > 0 && (p[0].revents != 0 || reader_gone(p[1].revents))) {
            o.signal = caught_signal(stop_fd);
            return o;
        }
        Run r = run(l, stop_fd, watched);
        if (r.end == Run::End::failed) {
            o.error = run_error(l, r);
            return o;
        }
        if (r.end == Run::End::stopped) {
            o.signal = caught_signal(stop_fd);
            return o;
        }
        finished(i, std::move(r));
    }
    return o;
}

// What a keeper hands back of a run, in memory shared with suite.
struct Slot {
    Run::End end;
    int code;
    const char *what; // a string literal, at the same address in both processes
    int left_running;
    Figures figures;
    bool out_cut;
    bool err_cut;
    size_t out_size;
    size_t err_size;
    size_t interpreter_size;
    char out[capture_limit];
    char err[capture_limit];
    char interpreter[256];
};

void put(Slot &s, const Run &r)
{
    s.end = r.end;
    s.code = r.code;
    s.what = r.what;
    s.left_running = r.left_running;
    s.figures = r.figures;
    s.out_cut = r.out_cut;
    s.err_cut = r.err_cut;
    s.out_size = std::min(r.out.size(), capture_limit);
    s.err_size = std::min(r.err.size(), capture_limit);
    s.interpreter_size = std::min(r.interpreter.size(), sizeof s.interpreter);
    std::memcpy(s.out, r.out.data(), s.out_size);
    std::memcpy(s.err, r.err.data(), s.err_size);
    std::memcpy(s.interpreter, r.interpreter.data(), s.interpreter_size);
}

Run take(const Slot &s)
{
    Run r;
    r.end = s.end;
    r.code = s.code;
    r.what = s.what;
    r.left_running = s.left_running;
    r.figures = s.figures;
    r.out_cut = s.out_cut;
    r.err_cut = s.err_cut;
    r.out.assign(s.out, s.out_size);
    r.err.assign(s.err, s.err_size);
    r.interpreter.assign(s.interpreter, s.interpreter_size);
    return r;
}

// A keeper: reads the index of a program to run, runs it, puts the run in
// its slot and writes the index back; ends when suite closes its requests.
// A request pipe that becomes readable during a run is suite asking it to
// stop.  The terminal's signals are suite's to act on, not the keeper's.
[[noreturn]] void keep(const std::vector<Launch> &launches, const Plan &plan, int requests, int results, Slot &slot)
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGINT, SIGQUIT, SIGTERM, SIGHUP})
        sigaddset(&set, sig);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    adopt_orphans();
    for (;;) {
        std::uint32_t index = 0;
        ssize_t n = 0;
        while ((n = read(requests, &index, sizeof index)) < 0 && errno == EINTR) {
        }
        if (n != sizeof index || index >= plan.steps())
            _exit(0);
        // Nothing may unwind out of here into the rest of suite: a keeper
        // that fails ends, and suite reports it.
        try {
            put(slot, run(launches[plan.cell(index)], requests));
        } catch (...) {
            _exit(1);
        }
        if (write(results, &index, sizeof index) != sizeof index)
            _exit(1);
    }
}

struct Keeper {
    pid_t pid = -1;
    int requests = -1; // suite writes here
    int results = -1;  // and reads here
    bool busy = false;
};

void close_fd(int &fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

class Keepers {
public:
    Keepers(const std::vector<Launch> &launches, const Plan &plan, size_t count)
        : launches_(launches), plan_(plan), keepers_(count)
    {
    }
    Keepers(const Keepers &) = delete;
    Keepers &operator=(const Keepers &) = delete;

    ~Keepers()
    {
        for (Keeper &k : keepers_) {
            close_fd(k.requests);
            close_fd(k.results);
            if (k.pid > 0)
                while (waitpid(k.pid, nullptr, 0) < 0 && errno == EINTR) {
                }
        }
        if (slots_ != nullptr)
            munmap(slots_, keepers_.size() * sizeof(Slot));
    }

    std::string start()
    {
        void *shared = mmap(nullptr, keepers_.size() * sizeof(Slot), PROT_READ | PROT_WRITE,
                            MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (shared == MAP_FAILED)
            return system_error("mmap", errno);
        slots_ = static_cast<Slot *>(shared);
        // Nothing buffered may be written twice by a keeper's copy of it.
        std::fflush(nullptr);
        for (size_t i = 0; i < keepers_.size(); ++i) {
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
            pid_t pid = fork();
            if (pid < 0) {
                int e = errno;
                for (int fd : {req[0], req[1], res[0], res[1]})
                    close(fd);
                return system_error("fork", e);
            }
            if (pid == 0) {
                // Another keeper's request pipe held open here would never
                // let that keeper see its end.
                for (size_t j = 0; j < i; ++j) {
                    close_fd(keepers_[j].requests);
                    close_fd(keepers_[j].results);
                }
                close(req[1]);
                close(res[0]);
                keep(launches_, plan_, req[0], res[1], slots_[i]);
            }
            close(req[0]);
            close(res[1]);
            keepers_[i] = {pid, req[1], res[0], false};
        }
        return "";
    }

    // Gives keeper k the next program, or lets it end when there is none;
    // false when the keeper cannot be reached.
    bool give(Keeper &k, size_t &next, bool stopping)
    {
        if (stopping || next >= plan_.steps()) {
            close_fd(k.requests);
            return true;
        }
        auto index = static_cast<std::uint32_t>(next);
        if (write(k.requests, &index, sizeof index) != sizeof index)
            return false;
        k.busy = true;
        ++next;
        return true;
    }

    Outcome run(int stop_fd, const std::function<void(size_t, Run &&)> &finished)
    {
        Outcome o;
        size_t next = 0;
        bool stopping = false;
        auto stop = [&]() {
            stopping = true;
            for (Keeper &k : keepers_)
                close_fd(k.requests);
        };
        auto lost = [&]() {
            if (o.error.empty())
                o.error = "a keeper process ended before its program did";
            stop();
        };
        for (Keeper &k : keepers_)
            if (!give(k, next, stopping))
                lost();
        int watched = output_to_watch();
        for (;;) {
            std::vector<pollfd> p;
            p.push_back({stopping ? -1 : stop_fd, POLLIN, 0});
            for (const Keeper &k : keepers_)
                p.push_back({k.busy ? k.results : -1, POLLIN, 0});
            p.push_back({stopping ? -1 : watched, 0, 0});
            if (std::none_of(keepers_.begin(), keepers_.end(), [](const Keeper &k) { return k.busy; }))
                return o;
            if (poll(p.data(), p.size(), -1) < 0) {
                if (errno == EINTR)
                    continue;
                o.error = system_error("poll", errno);
                stop();
                continue;
            }
            // A reader gone raises SIGPIPE, which the next round reads.
            if (reader_gone(p.back().revents))
                watched = -1;
            if (p[0].revents != 0) {
                o.signal = caught_signal(stop_fd);
                stop();
            }
            for (size_t i = 0; i < keepers_.size(); ++i) {
                Keeper &k = keepers_[i];
                if (p[i + 1].revents == 0)
                    continue;
                std::uint32_t index = 0;
                ssize_t n = read(k.results, &index, sizeof index);
                if (n < 0 && errno == EINTR)
                    continue;
                k.busy = false;
                if (n != sizeof index || index >= plan_.steps()) {
                    lost();
                    continue;
                }
                Run r = take(slots_[i]);
                if (r.end == Run::End::failed) {
                    if (o.error.empty())
                        o.error = run_error(launches_[plan_.cell(index)], r);
                    stop();
                } else if (r.end != Run::End::stopped) {
                    finished(index, std::move(r));
                }
                if (!give(k, next, stopping))
                    lost();
            }
        }
    }

private:
    const std::vector<Launch> &launches_;
    const Plan &plan_;
    std::vector<Keeper> keepers_;
    Slot *slots_ = nullptr;
};

} // namespace

Outcome run_all(const std::vector<Launch> &launches, const Plan &plan, int jobs, int stop_fd,
                const std::function<void(size_t, Run &&)> &finished)
{
    size_t places = std::min(plan.steps(), static_cast<size_t>(std::max(jobs, 1)));
    // Run here only where this process can be the subreaper of the programs
    // alone: a child that a shell left it would bring its own orphans.
    if (places <= 1 && !has_children() && adopt_orphans())
        return one_at_a_time(launches, plan, stop_fd, finished);
    Keepers keepers(launches, plan, std::max<size_t>(places, 1));
    if (std::string e = keepers.start(); !e.empty()) {
        Outcome o;
        o.error = "cannot start a keeper process: " + e;
        return o;
    }
    return keepers.run(stop_fd, finished);
}
