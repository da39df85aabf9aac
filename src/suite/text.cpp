// The text report.  One build: a line per program, in the programs' order,
// with its figures in aligned columns and its verdict last, then the counts.
// Several builds: a row per program and a column per build, holding each
// cell's median wall time and, beside the reference, the ratio to it and its
// mark, or how the cell failed; the same for peak memory; then each failure's
// details, and the counts.
#include <algorithm>
#include <cstring>

#include "escape.h"
#include "report.h"

namespace {

// Columns a string takes on a terminal: one for each UTF-8 character.
size_t columns(const std::string &s)
{
    return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xc0) != 0x80; }));
}

std::string pad(const std::string &s, size_t width, bool right = false)
{
    std::string fill(width - std::min(width, columns(s)), ' ');
    return right ? fill + s : s + fill;
}

int name_width()
{
    int w = static_cast<int>(std::strlen("program"));
    for (const Contract &c : contracts())
        w = std::max(w, static_cast<int>(std::strlen(c.name)));
    return w;
}

std::string figure(const Figures &f, Metric m)
{
    if (m == Metric::peak_rss_kib)
        return pad(memory_text(f.peak_kib), 9, true);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%7.3f s", m == Metric::wall_time ? f.wall : f.user + f.sys);
    return buf;
}

// Half the interquartile range over the median: where the middle half of
// the runs lies, about the median.
std::string spread(const Cell &c, Metric m)
{
    const double half = c.spread[static_cast<size_t>(m)] * 50;
    if (half >= 99.5)
        return ">99%";
    char buf[32];
    std::snprintf(buf, sizeof buf, "±%.0f%%", half);
    return buf;
}

// A time in the unit that shows its digits: ms below a second.
std::string fine_figure(const Figures &f, Metric m)
{
    if (m != Metric::wall_time || f.wall >= 0.9995)
        return figure(f, m);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%6.2f ms", f.wall * 1000);
    return buf;
}

// One build ---------------------------------------------------------------

bool repeated(const Check &s)
{
    return s.plan.repeat > 1;
}

// Where the verdict starts: the name and the figures, each column two
// spaces from the last.
int verdict_column(const Check &s)
{
    return 2 + name_width() + 3 * (2 + 9) + (repeated(s) ? 2 + 6 : 0) + 2;
}

std::string runs_text(const Check &s)
{
    return repeated(s) ? ", " + std::to_string(s.plan.repeat) + " runs each" : "";
}

void begin_one(std::FILE *to, const Check &s)
{
    const size_t n = s.plan.programs.size();
    std::fprintf(to, "checking %zu program%s in %s%s, time limit %s each\n", n, n == 1 ? "" : "s",
                 text_quoted(s.plan.builds[0].dir).c_str(), runs_text(s).c_str(), limit_text(s).c_str());
    if (repeated(s))
        std::fprintf(to, "  %-*s  %9s  %6s  %9s  %9s  %s\n", name_width(), "program", "wall", "spread", "cpu", "peak",
                     "verdict");
    else
        std::fprintf(to, "  %-*s  %9s  %9s  %9s  %s\n", name_width(), "program", "wall", "cpu", "peak", "verdict");
}

void row_one(std::FILE *to, const Check &s, size_t program)
{
    const Cell &c = s.cell(program, 0);
    std::string line = "  " + pad(s.plan.programs[program]->name, static_cast<size_t>(name_width()));
    for (Metric m : {Metric::wall_time, Metric::exec_time, Metric::peak_rss_kib}) {
        line += "  " + pad(c.median ? figure(*c.median, m) : "", 9, true);
        if (m == Metric::wall_time && repeated(s))
            line += "  " + pad(c.median ? spread(c, m) : "", 6, true);
    }
    std::fprintf(to, "%s  %s\n", line.c_str(), c.verdict.text.c_str());
    for (const std::string &d : c.verdict.details)
        std::fprintf(to, "%*s%s\n", verdict_column(s) + 2, "", d.c_str());
    std::fflush(to);
}

// Several builds ----------------------------------------------------------

constexpr size_t cell_width = 28; // figure, spread, ratio and mark

size_t label_width(const Check &s, size_t build)
{
    return std::max(cell_width, columns(text_escaped(s.plan.builds[build].label)));
}

std::string metric_title(const Check &s, Metric m)
{
    std::string t = m == Metric::wall_time ? "wall time" : "peak memory";
    if (repeated(s))
        t += ", median of " + std::to_string(s.plan.repeat) + " runs";
    return t + ", and ratio to " + text_escaped(s.plan.builds[s.plan.reference].label);
}

std::string trimmed(std::string line)
{
    while (line.ends_with(' '))
        line.pop_back();
    return line;
}

std::string table_header(const Check &s)
{
    std::string line = "  " + pad("program", static_cast<size_t>(name_width()));
    for (size_t b = 0; b < s.plan.builds.size(); ++b)
        line += "  " + pad(text_escaped(s.plan.builds[b].label), label_width(s, b));
    return trimmed(line);
}

std::string cell_text(const Check &s, const Cell &c, size_t build, Metric m)
{
    if (!passed(c))
        return short_verdict(c);
    std::string t = c.median ? fine_figure(*c.median, m) : "";
    if (repeated(s))
        t.append(" ").append(pad(spread(c, m), 4, true));
    const auto &compared = c.compared[static_cast<size_t>(m)];
    if (build != s.plan.reference && compared)
        t.append(" ").append(pad(ratio_text(*compared), 5, true)).append(" ").append(mark(*compared, m));
    return t;
}

std::string table_row(const Check &s, size_t program, Metric m)
{
    std::string line = "  " + pad(s.plan.programs[program]->name, static_cast<size_t>(name_width()));
    for (size_t b = 0; b < s.plan.builds.size(); ++b)
        line += "  " + pad(cell_text(s, s.cell(program, b), b, m), label_width(s, b));
    return trimmed(line);
}

void begin_several(std::FILE *to, const Check &s)
{
    const size_t n = s.plan.programs.size();
    std::fprintf(to, "checking %zu program%s in %zu builds%s, time limit %s each\n", n, n == 1 ? "" : "s",
                 s.plan.builds.size(), runs_text(s).c_str(), limit_text(s).c_str());
    size_t width = 0;
    for (const Build &b : s.plan.builds)
        width = std::max(width, columns(text_escaped(b.label)));
    for (size_t b = 0; b < s.plan.builds.size(); ++b)
        std::fprintf(to, "  %s  %s%s\n", pad(text_escaped(s.plan.builds[b].label), width).c_str(),
                     text_quoted(s.plan.builds[b].dir).c_str(),
                     b == s.plan.reference ? "  (reference)" : "");
    std::fprintf(to, "%s\n%s\n", metric_title(s, Metric::wall_time).c_str(), table_header(s).c_str());
}

void row_several(std::FILE *to, const Check &s, size_t program)
{
    std::fprintf(to, "%s\n", table_row(s, program, Metric::wall_time).c_str());
    std::fflush(to);
}

void end_several(std::FILE *to, const Check &s)
{
    std::fprintf(to, "%s\n%s\n", metric_title(s, Metric::peak_rss_kib).c_str(), table_header(s).c_str());
    for (size_t p = 0; p < s.plan.programs.size(); ++p)
        std::fprintf(to, "%s\n", table_row(s, p, Metric::peak_rss_kib).c_str());
    // The legend in two lines, at the end of its first clause.
    const std::string l = legend(s);
    const size_t at = std::min(l.find("); "), l.size());
    std::fprintf(to, "%.*s\n%s\n", static_cast<int>(at + 1), l.c_str(), l.c_str() + std::min(at + 3, l.size()));
    const auto failed_cells = s.failures();
    if (!failed_cells.empty())
        std::fprintf(to, "failures\n");
    for (auto [p, b] : failed_cells) {
        const Verdict &v = s.cell(p, b).verdict;
        std::fprintf(to, "  %s: %s\n", text_escaped(s.name(p, b)).c_str(), v.text.c_str());
        for (const std::string &d : v.details)
            std::fprintf(to, "      %s\n", d.c_str());
    }
}

// Either ------------------------------------------------------------------

void begin(std::FILE *to, const Check &s)
{
    s.several() ? begin_several(to, s) : begin_one(to, s);
}

void row(std::FILE *to, const Check &s, size_t program)
{
    s.several() ? row_several(to, s, program) : row_one(to, s, program);
}

void end(std::FILE *to, const Check &s)
{
    if (s.several())
        end_several(to, s);
    else if (repeated(s))
        std::fprintf(to, "figures are medians of %d runs; spread: half the interquartile range of the wall "
                         "times, over their median\n",
                     s.plan.repeat);
    std::fprintf(to, "%s\n", counts(s).c_str());
    if (std::string why = stopped_because(s); !why.empty())
        std::fprintf(to, "%s\n", why.c_str());
}

} // namespace

const Stream text_report = {begin, row, end};
