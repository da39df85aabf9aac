// suite: checks one or more folders of the programs against their contracts,
// and reports what each did as text or TAP, and as JUnit XML, JSON and
// Markdown files.
#include <fcntl.h>
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#include "destination.h"
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
    const char *flag;
    const char *format;
    void (*write)(std::FILE *, const Check &);
    Destination to;
};

// Where each report file goes, settled before the run: an error message, or
// empty.
template <size_t N>
std::string settle_files(File (&files)[N])
{
    for (File &f : files)
        if (std::string e = f.path.empty() ? "" : settle(f.path, f.to); !e.empty())
            return "cannot write the " + std::string(f.format) + " report: " + e;
    for (size_t i = 0; i < N; ++i)
        for (size_t j = 0; j < i; ++j)
            if (!files[i].path.empty() && !files[j].path.empty() && same_file(files[i].to, files[j].to))
                return std::string(files[j].flag) + " and " + files[i].flag + " name the same file";
    return "";
}

// The rows of the matrix, each shown once it and all before it are known.
class Rows {
public:
    Rows(Check &s, const Stream &stream) : s_(s), stream_(stream) {}

    void show_ready()
    {
        for (; shown_ < s_.plan.programs.size() && complete(shown_); ++shown_)
            show(shown_);
    }

    // Once the check has stopped: the rest, as far as they ran.
    void show_rest()
    {
        for (; shown_ < s_.plan.programs.size(); ++shown_)
            show(shown_);
    }

private:
    bool complete(size_t program) const
    {
        for (size_t b = 0; b < s_.plan.builds.size(); ++b)
            if (s_.cell(program, b).runs.size() < static_cast<size_t>(s_.plan.repeat))
                return false;
        return true;
    }

    void show(size_t program)
    {
        const size_t builds = s_.plan.builds.size();
        Cell *row = &s_.cells[program * builds];
        for (size_t b = 0; b < builds; ++b)
            conclude(row[b], static_cast<size_t>(s_.plan.repeat));
        const Cell &reference = row[s_.plan.reference];
        for (size_t b = 0; b < builds; ++b)
            if (b != s_.plan.reference && passed(reference) && passed(row[b]))
                compare_cells(reference, row[b], s_.min_effect, s_.family());
        stream_.row(stdout, s_, program);
    }

    Check &s_;
    const Stream &stream_;
    size_t shown_ = 0;
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
    if (int status = parse_options(argc, argv, o); status >= 0) {
        // --help and --list print on standard output; lost, they failed.
        if (status == 0 && (std::fflush(stdout) != 0 || std::ferror(stdout) != 0 || no_stdout))
            return fail(std::string(o.list ? "the list" : "the help") + " could not be written on standard output");
        return status;
    }

    File files[] = {{o.junit, "--junit", "JUnit", write_junit, {}},
                    {o.json, "--json", "JSON", write_json, {}},
                    {o.markdown, "--markdown", "Markdown", write_markdown, {}},
                    {o.html, "--html", "HTML", write_html, {}}};
    if (std::string e = settle_files(files); !e.empty())
        return fail(e);

    int stop_fd = catch_stop_signals();
    if (stop_fd < 0)
        return fail(std::string("cannot take over the stop signals: ") + std::strerror(errno));

    Check s;
    s.plan = o.plan;
    s.min_effect = o.min_effect;
    s.limit = o.limit;
    s.runner = o.runner_text;
    s.started = std::time(nullptr);
    s.host = hostname();
    s.command.assign(argv, argv + argc);
    s.cells.resize(s.plan.cells());
    const Stream &stream = o.tap ? tap_report : text_report;
    stream.begin(stdout, s);

    // One launch per cell, numbered as the plan numbers cells.
    std::vector<Launch> launches;
    for (const Contract *c : s.plan.programs)
        for (const Build &b : s.plan.builds) {
            std::string path = (b.dir == "/" ? "" : b.dir) + "/" + c->name;
            // A runner would read a relative -x/NAME as an option.
            if (path.starts_with('-'))
                path.insert(0, "./");
            launches.push_back({path, &o.runner, o.limit});
        }

    Rows rows(s, stream);
    const double start = now();
    const size_t builds = s.plan.builds.size();
    Outcome outcome = run_all(launches, s.plan, o.jobs, stop_fd, [&](size_t step, Run &&r) {
        const size_t cell = s.plan.cell(step);
        const Contract &c = *s.plan.programs[cell / builds];
        add_run(s.cells[cell], s.plan.round(step), judge(c, launches[cell], r),
                started(r.end) ? std::optional(r.figures) : std::nullopt);
        rows.show_ready();
    });
    s.elapsed = now() - start;
    s.signal = outcome.signal;
    s.failed = !outcome.error.empty();
    if (s.failed)
        std::fprintf(stderr, "suite: %s\n", outcome.error.c_str());
    rows.show_rest();
    stream.end(stdout, s);

    int status = s.failed ? 2 : s.count(failed) > 0 ? 1 : 0;
    // Before the files, one of which may be standard output itself.
    // A reader that went away stopped the check by SIGPIPE, and needs no
    // word about it.
    if ((std::fflush(stdout) != 0 || std::ferror(stdout) != 0 || no_stdout) && s.signal != SIGPIPE)
        status = fail("could not write the report on standard output");
    for (const File &f : files) {
        if (f.path.empty())
            continue;
        if (std::string e = save_report(f.to, f.write, s); !e.empty())
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
