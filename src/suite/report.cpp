#include "report.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "kinds.h"

std::string Check::name(size_t program, size_t build) const
{
    std::string name = plan.programs[program]->name;
    return several() ? plan.builds[build].label + " :: " + name : name;
}

size_t Check::count(bool (*which)(const Cell &)) const
{
    return static_cast<size_t>(std::count_if(cells.begin(), cells.end(), which));
}

std::vector<std::pair<size_t, size_t>> Check::failures() const
{
    std::vector<std::pair<size_t, size_t>> f;
    for (size_t p = 0; p < plan.programs.size(); ++p)
        for (size_t b = 0; b < plan.builds.size(); ++b)
            if (::failed(cell(p, b)))
                f.emplace_back(p, b);
    return f;
}

bool passed(const Cell &c)
{
    return kind(c.verdict.fault).count == Count::passed;
}

bool failed(const Cell &c)
{
    return kind(c.verdict.fault).count == Count::failed;
}

bool not_run(const Cell &c)
{
    return kind(c.verdict.fault).count == Count::skipped;
}

std::string counts(const Check &s)
{
    std::string c = std::to_string(s.count(passed)) + " passed, " + std::to_string(s.count(failed)) + " failed";
    if (size_t n = s.count(not_run); n > 0)
        c += ", " + std::to_string(n) + " not run";
    return c;
}

std::string limit_text(const Check &s)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g s", s.limit);
    return buf;
}

std::string short_verdict(const Cell &c)
{
    if (c.verdict.fault != Fault::flaky)
        return kind(c.verdict.fault).words;
    return "flaky: " + std::to_string(c.failures) + " of " + std::to_string(c.runs.size()) + " runs failed";
}

std::string memory_text(long kib)
{
    const double mib = static_cast<double>(kib) / 1024;
    char buf[32];
    // Never wider than "999.9 MiB", so that a column of them stays aligned.
    if (mib >= 1023.5)
        std::snprintf(buf, sizeof buf, "%.1f GiB", mib / 1024);
    else
        std::snprintf(buf, sizeof buf, mib >= 999.95 ? "%.0f MiB" : "%.1f MiB", mib);
    return buf;
}

std::string ratio_text(const Comparison &c)
{
    if (!c.ratio)
        return "-";
    const double r = *c.ratio;
    char buf[32];
    std::snprintf(buf, sizeof buf, r >= 99.95 ? "%.0fx" : r >= 9.995 ? "%.1fx" : "%.2fx", r);
    return buf;
}

const char *mark(const Comparison &c, Metric m)
{
    const bool time = m != Metric::peak_rss_kib;
    switch (c.verdict) {
    case Difference::higher: return time ? "slower" : "larger";
    case Difference::lower: return time ? "faster" : "smaller";
    case Difference::same: return "~";
    case Difference::too_few: break;
    }
    return "?";
}

const char *difference_word(Difference d)
{
    switch (d) {
    case Difference::higher: return "higher";
    case Difference::lower: return "lower";
    case Difference::same: return "same";
    case Difference::too_few: break;
    }
    return "too few runs";
}

std::string legend(const Check &s)
{
    char effect[32];
    std::snprintf(effect, sizeof effect, "%g%%", s.min_effect * 100);
    const std::string family = std::to_string(s.family());
    return "slower, faster, larger, smaller: a real difference (Mann-Whitney U test, p < 0.05/" + family +
           " for a build's " + family + " comparisons, medians at least " + effect +
           " apart); ~: no clear difference; ?: too few runs to tell (" + std::to_string(runs_to_tell(s.family())) +
           " a side are needed)";
}

std::string hostname()
{
    char name[HOST_NAME_MAX + 1] = "";
    if (gethostname(name, sizeof name) != 0 || name[0] == '\0')
        return "localhost";
    name[HOST_NAME_MAX] = '\0';
    return name;
}

std::string command_line(const Check &s)
{
    std::string line;
    for (const std::string &word : s.command) {
        if (!line.empty())
            line += ' ';
        const bool plain = !word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                                    "0123456789_./=:,+-") == std::string::npos;
        if (plain) {
            line += word;
            continue;
        }
        line += '\'';
        for (char c : word)
            line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += '\'';
    }
    return line;
}

std::string stopped_because(const Check &s)
{
    if (s.signal != 0) {
        const char *abbrev = sigabbrev_np(s.signal);
        return std::string("interrupted by ") + (abbrev ? std::string("SIG") + abbrev : std::to_string(s.signal));
    }
    if (s.failed)
        return "stopped by a failure of suite itself";
    return "";
}
