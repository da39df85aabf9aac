// suite: checks a folder of the programs against their reference outputs.
//
// Each program runs on its own, with no arguments, standard input from
// /dev/null, standard output and standard error captured apart, and a time
// limit.  It passes when its standard output matches byte for byte, its exit
// status matches where the contract defines one, and its standard error is
// empty.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Contract {
    const char *name;
    std::string_view reference;
};

// Generated from programs/<name>.reference_output at configure time.
constexpr Contract contracts[] = {
#include "contracts.inc"
};

// A reference output is the exact standard output, then a line "exit N"
// where the exit status is defined.
struct Expected {
    std::string_view out;
    std::optional<int> status;
};

Expected parse_reference(std::string_view ref)
{
    Expected e{ref, std::nullopt};
    if (ref.empty() || ref.back() != '\n')
        return e;
    size_t end = ref.size() - 1;
    size_t nl = end == 0 ? std::string_view::npos : ref.rfind('\n', end - 1);
    size_t start = nl == std::string_view::npos ? 0 : nl + 1;
    std::string_view last = ref.substr(start, end - start);
    if (!last.starts_with("exit "))
        return e;
    std::string_view digits = last.substr(5);
    int status = 0;
    auto [end_of_number, error] = std::from_chars(digits.data(), digits.data() + digits.size(), status);
    if (error != std::errc() || end_of_number != digits.data() + digits.size() || status < 0 || status > 255)
        return e;
    e.out = ref.substr(0, start);
    e.status = status;
    return e;
}

double now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// What one run of a program did.
struct Run {
    enum class End { exited, signalled, timed_out, not_started } end = End::not_started;
    int code = 0; // exit status, signal number, or errno when not started
    std::string out;
    std::string err;
    bool out_cut = false;
};

// Output past this is read and dropped, so that a runaway program cannot
// exhaust memory before its time limit.
constexpr size_t capture_limit = size_t{1} << 20;

// Reads what is there without blocking; false at end of file.
bool drain(int fd, std::string &into, bool &cut)
{
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) {
            size_t room = capture_limit - std::min(capture_limit, into.size());
            size_t keep = std::min(room, static_cast<size_t>(n));
            into.append(buf, keep);
            cut = cut || keep < static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

Run run(const std::string &path, double limit)
{
    Run r;
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        r.code = errno;
        return r;
    }
    if (pipe2(err, O_CLOEXEC) != 0) {
        r.code = errno;
        close(out[0]);
        close(out[1]);
        return r;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);

    // Its own process group, so that a time-out can end whatever it started;
    // default signal handling and no blocked signals, whatever suite inherited.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attr, &signals);
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(&attr, &signals);

    std::string arg0 = path;
    char *argv[] = {arg0.data(), nullptr};
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, path.c_str(), &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(out[1]);
    close(err[1]);
    if (spawned != 0) {
        r.code = spawned;
        close(out[0]);
        close(err[0]);
        return r;
    }

    fcntl(out[0], F_SETFL, O_NONBLOCK);
    fcntl(err[0], F_SETFL, O_NONBLOCK);
    bool out_open = true;
    bool err_open = true;
    bool err_cut = false;
    const double deadline = now() + limit;
    for (;;) {
        // Look for the end without reaping, so that its process group id
        // stays reserved for the kill below.
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid)
            break;
        double left = deadline - now();
        if (left <= 0) {
            r.end = Run::End::timed_out;
            break;
        }
        pollfd fds[2];
        nfds_t n = 0;
        if (out_open)
            fds[n++] = {out[0], POLLIN, 0};
        if (err_open)
            fds[n++] = {err[0], POLLIN, 0};
        int slice = std::min(n > 0 ? 10 : 1, static_cast<int>(std::ceil(left * 1000)));
        poll(fds, n, slice);
        if (out_open)
            out_open = drain(out[0], r.out, r.out_cut);
        if (err_open)
            err_open = drain(err[0], r.err, err_cut);
    }
    // Whatever the program left running ends with it.
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (out_open)
        drain(out[0], r.out, r.out_cut);
    if (err_open)
        drain(err[0], r.err, err_cut);
    close(out[0]);
    close(err[0]);

    if (r.end == Run::End::timed_out)
        return r;
    if (WIFSIGNALED(status)) {
        r.end = Run::End::signalled;
        r.code = WTERMSIG(status);
    } else {
        r.end = Run::End::exited;
        r.code = WEXITSTATUS(status);
    }
    return r;
}

// A short, printable, quoted form of a line.
std::string quote(std::string_view s)
{
    constexpr size_t most = 60;
    std::string q = "\"";
    for (size_t i = 0; i < s.size() && i < most; ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\') {
            q += '\\';
            q += static_cast<char>(c);
        } else if (c == '\t') {
            q += "\\t";
        } else if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            q += hex;
        } else {
            q += static_cast<char>(c);
        }
    }
    if (s.size() > most)
        q += "...";
    return q + "\"";
}

// Lines with their newline, if they have one.
std::vector<std::string_view> lines(std::string_view s)
{
    std::vector<std::string_view> v;
    while (!s.empty()) {
        size_t nl = s.find('\n');
        size_t len = nl == std::string_view::npos ? s.size() : nl + 1;
        v.push_back(s.substr(0, len));
        s.remove_prefix(len);
    }
    return v;
}

std::string show_line(const std::vector<std::string_view> &v, size_t i)
{
    if (i >= v.size())
        return "nothing";
    std::string_view line = v[i];
    if (line.ends_with('\n'))
        return quote(line.substr(0, line.size() - 1));
    return quote(line) + " (no newline at end)";
}

// The lines that differ, at most a few of them.
std::vector<std::string> diff(std::string_view want, std::string_view got)
{
    constexpr size_t most = 5;
    std::vector<std::string_view> w = lines(want);
    std::vector<std::string_view> g = lines(got);
    std::vector<std::string> d;
    size_t differing = 0;
    for (size_t i = 0; i < std::max(w.size(), g.size()); ++i) {
        if (i < w.size() && i < g.size() && w[i] == g[i])
            continue;
        if (++differing <= most)
            d.push_back("line " + std::to_string(i + 1) + ": expected " + show_line(w, i) + ", got " + show_line(g, i));
    }
    if (differing > most)
        d.push_back("and " + std::to_string(differing - most) + " more differing lines");
    return d;
}

struct Verdict {
    bool passed = false;
    std::string text;
    std::vector<std::string> details;
};

std::string seconds(double s)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g s", s);
    return buf;
}

Verdict check(const Contract &c, const std::string &dir, double limit)
{
    Verdict v;
    std::string path = dir + "/" + c.name;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        v.text = errno == ENOENT ? "missing: " + path : "missing: " + path + " (" + std::strerror(errno) + ")";
        return v;
    }
    if (!S_ISREG(st.st_mode)) {
        v.text = "not executable: " + path + " (not a regular file)";
        return v;
    }
    if (access(path.c_str(), X_OK) != 0) {
        v.text = "not executable: " + path + " (" + std::strerror(errno) + ")";
        return v;
    }

    Run r = run(path, limit);
    switch (r.end) {
    case Run::End::not_started:
        v.text = "not executable: " + path + " (" + std::strerror(r.code) + ")";
        return v;
    case Run::End::timed_out:
        v.text = "timed out after " + seconds(limit);
        return v;
    case Run::End::signalled:
        v.text = "killed by signal " + std::to_string(r.code) + " (" + strsignal(r.code) + ")";
        return v;
    case Run::End::exited:
        break;
    }

    Expected e = parse_reference(c.reference);
    std::vector<std::string> faults;
    if (r.out != e.out) {
        faults.emplace_back("wrong output");
        v.details = diff(e.out, r.out);
        if (r.out_cut)
            v.details.emplace_back("(standard output cut at " + std::to_string(capture_limit) + " bytes)");
    }
    if (e.status && r.code != *e.status)
        faults.push_back("wrong exit status: expected " + std::to_string(*e.status) + ", got " + std::to_string(r.code));
    if (!r.err.empty()) {
        std::vector<std::string_view> err = lines(r.err);
        std::string first = show_line(err, 0);
        faults.push_back("wrote to standard error: " + first + (err.size() > 1 ? " ..." : ""));
    }

    v.passed = faults.empty();
    v.text = v.passed ? "passed" : faults[0];
    for (size_t i = 1; i < faults.size(); ++i)
        v.text += "; " + faults[i];
    return v;
}

void usage(std::FILE *to)
{
    std::fprintf(to,
        "usage: suite [--timeout SECONDS] [DIR [NAME...]]\n"
        "\n"
        "Checks the programs of the suite in DIR against their reference outputs.\n"
        "DIR defaults to the folder that holds suite itself; NAMEs limit the check\n"
        "to those programs.\n"
        "\n"
        "Each program DIR/NAME runs with no arguments, standard input from /dev/null\n"
        "and a time limit. It passes when its standard output is exactly its\n"
        "reference output, its exit status is the one its reference defines (if\n"
        "any), and it writes nothing to standard error. One line per program tells\n"
        "its verdict; the last line counts them.\n"
        "\n"
        "  --timeout SECONDS  time limit for each program (default 10)\n"
        "  --help             this text\n"
        "\n"
        "Exit status: 0 when every program passed, 1 when any failed, 2 on a bad\n"
        "option, an unknown NAME, a DIR that is not a folder, or a report that\n"
        "could not be written.\n"
        "\n"
        "Programs:");
    for (const Contract &c : contracts)
        std::fprintf(to, " %s", c.name);
    std::fprintf(to, "\n");
}

int bad_usage(const std::string &message)
{
    std::fprintf(stderr, "suite: %s\nTry 'suite --help'.\n", message.c_str());
    return 2;
}

std::optional<double> parse_seconds(const char *s)
{
    errno = 0;
    char *end = nullptr;
    double v = std::strtod(s, &end);
    if (end == s || *end != '\0' || errno != 0 || !std::isfinite(v) || v <= 0 || v > 86400)
        return std::nullopt;
    return v;
}

// The folder that holds this executable.
std::optional<std::string> own_folder()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return std::nullopt;
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return std::nullopt;
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

int main(int argc, char **argv)
{
    double limit = 10;
    std::vector<std::string> positional;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view a = argv[i];
        if (options_done || a == "-" || !a.starts_with('-')) {
            positional.emplace_back(a);
        } else if (a == "--") {
            options_done = true;
        } else if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        } else if (a == "--timeout" || a.starts_with("--timeout=")) {
            const char *value = a == "--timeout" ? (i + 1 < argc ? argv[++i] : nullptr) : argv[i] + 10;
            std::optional<double> s = value ? parse_seconds(value) : std::nullopt;
            if (!s)
                return bad_usage("--timeout takes a number of seconds, more than 0 and at most 86400");
            limit = *s;
        } else {
            return bad_usage("unknown option '" + std::string(a) + "'");
        }
    }

    std::string dir;
    if (!positional.empty()) {
        dir = positional[0];
        struct stat st {};
        if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return bad_usage("no such folder: " + dir);
    } else if (std::optional<std::string> own = own_folder()) {
        dir = *own;
    } else {
        return bad_usage("cannot tell which folder holds suite; name the folder to check");
    }

    std::vector<const Contract *> chosen;
    for (size_t i = 1; i < positional.size(); ++i) {
        auto c = std::find_if(std::begin(contracts), std::end(contracts),
                              [&](const Contract &k) { return positional[i] == k.name; });
        if (c == std::end(contracts))
            return bad_usage("no program named '" + positional[i] + "'");
        chosen.push_back(c);
    }
    if (chosen.empty())
        for (const Contract &c : contracts)
            chosen.push_back(&c);

    int width = 0;
    for (const Contract *c : chosen)
        width = std::max(width, static_cast<int>(std::strlen(c->name)));

    std::printf("checking %zu program%s in %s, time limit %s each\n", chosen.size(), chosen.size() == 1 ? "" : "s",
                dir.c_str(), seconds(limit).c_str());
    int passed = 0;
    int failed = 0;
    for (const Contract *c : chosen) {
        std::printf("  %-*s  ", width, c->name);
        std::fflush(stdout);
        Verdict v = check(*c, dir, limit);
        std::printf("%s\n", v.text.c_str());
        for (const std::string &d : v.details)
            std::printf("  %*s    %s\n", width, "", d.c_str());
        std::fflush(stdout);
        (v.passed ? passed : failed)++;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "suite: could not write the report\n");
        return 2;
    }
    return failed == 0 ? 0 : 1;
}
