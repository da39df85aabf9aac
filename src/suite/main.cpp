// suite: checks a folder of the programs against their contracts, and
// reports what each did as text or TAP, and as JUnit XML and JSON files.
#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <optional>

#include "jobs.h"
#include "options.h"
#include "report.h"
#include "signals.h"

namespace {

int fail(const std::string &message)
{
    std::fprintf(stderr, "suite: %s\n", message.c_str());
    return 2;
}

struct File {
    const std::string &path;
    const char *format;
    void (*write)(std::FILE *, const Check &);
};

// The whole check; main adds only the one failure that can come from
// anywhere.
int check_programs(int argc, char **argv)
{
    // Standard input, output and error open, so that no descriptor suite
    // opens takes their place and is handed to a program as one of them.  A
    // report to a closed standard output is a report lost.
    const bool no_stdout = fcntl(1, F_GETFD) < 0;
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && open("/dev/null", O_RDWR) != fd)
            return 2;

    Options o;
    if (int status = parse_options(argc, argv, o); status >= 0)
        return status;

    const File files[] = {{o.junit, "JUnit", write_junit}, {o.json, "JSON", write_json}};
    for (const File &f : files)
        if (std::string e = f.path.empty() ? "" : check_writable(f.path); !e.empty())
            return fail("cannot write the " + std::string(f.format) + " report: " + e);

    int stop_fd = catch_stop_signals();
    if (stop_fd < 0)
        return fail(std::string("cannot take over the stop signals: ") + std::strerror(errno));

    Check s;
    s.dir = o.dir;
    s.limit = o.limit;
    s.runner = o.runner_text;
    s.started = std::time(nullptr);
    const Stream &stream = o.tap ? tap_report : text_report;
    const size_t n = o.programs.size();
    stream.begin(stdout, s, n);

    std::vector<Launch> launches;
    for (const Contract *c : o.programs)
        launches.push_back({(o.dir == "/" ? "" : o.dir) + "/" + c->name, &o.runner, o.limit});

    // Each result is shown once it and all before it are known.
    std::vector<std::optional<Result>> results(n);
    size_t shown = 0;
    auto show_ready = [&]() {
        for (; shown < n && results[shown]; ++shown)
            stream.result(stdout, *results[shown], shown + 1);
    };
    const double start = now();
    Outcome outcome = run_all(launches, o.jobs, stop_fd, [&](size_t i, Run &&r) {
        const Contract &c = *o.programs[i];
        results[i] = Result{&c, judge(c, launches[i], r), started(r.end) ? std::optional(r.figures) : std::nullopt};
        show_ready();
    });
    s.elapsed = now() - start;
    s.signal = outcome.signal;
    s.failed = !outcome.error.empty();
    if (s.failed)
        std::fprintf(stderr, "suite: %s\n", outcome.error.c_str());

    for (size_t i = 0; i < n; ++i)
        if (!results[i])
            results[i] = Result{o.programs[i], Verdict{Fault::not_run, "not run", {}}, std::nullopt};
    show_ready();
    for (size_t i = 0; i < n; ++i)
        s.results.push_back(std::move(*results[i]));
    stream.end(stdout, s);

    int status = s.failed ? 2 : s.count(failed) > 0 ? 1 : 0;
    // Before the files, one of which may be standard output itself.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0 || no_stdout)
        status = fail("could not write the report on standard output");
    for (const File &f : files) {
        if (f.path.empty())
            continue;
        if (std::string e = save_report(f.path, f.write, s); !e.empty())
            status = fail("cannot write the " + std::string(f.format) + " report: " + e);
    }
    if (s.signal != 0)
        die_by(s.signal);
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        return check_programs(argc, argv);
    } catch (const std::bad_alloc &) {
        return fail("out of memory");
    }
}
