// The matrix as a GitHub-flavoured Markdown table, for a CI job's summary or
// a pull request: a row per program, a column per build, each cell its
// verdict, median wall time and peak memory with their ratios to the
// reference and marks; then each failure's details.  Every text that comes
// from outside goes out escaped, so that it shows as text.
#include "escape.h"
#include "report.h"

namespace {

std::string figure(const Figures &f, Metric m)
{
    if (m == Metric::peak_rss_kib)
        return memory_text(f.peak_kib);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f s", f.wall);
    return buf;
}

std::string cell_text(const Check &s, const Cell &c, size_t build)
{
    if (!passed(c))
        return "**" + markdown_text(short_verdict(c)) + "**";
    std::string t = "passed";
    if (!c.median)
        return t;
    for (Metric m : {Metric::wall_time, Metric::peak_rss_kib}) {
        t.append(", ").append(figure(*c.median, m));
        const auto &compared = c.compared[static_cast<size_t>(m)];
        if (build != s.plan.reference && compared)
            t.append(" ").append(markdown_text(ratio_text(*compared).append(" ").append(mark(*compared, m))));
    }
    return t;
}

} // namespace

void write_markdown(std::FILE *to, const Check &s)
{
    const size_t programs = s.plan.programs.size();
    const size_t builds = s.plan.builds.size();
    std::fprintf(to, "### suite: %s\n\n", counts(s).c_str());
    if (std::string why = stopped_because(s); !why.empty())
        std::fprintf(to, "**%s**\n\n", markdown_text(why).c_str());
    std::fprintf(to, "%zu program%s in %zu build%s, %d run%s each, time limit %s each", programs,
                 programs == 1 ? "" : "s", builds, builds == 1 ? "" : "s", s.plan.repeat,
                 s.plan.repeat == 1 ? "" : "s", limit_text(s).c_str());
    if (!s.runner.empty())
        std::fprintf(to, ", under the runner %s", markdown_text(s.runner).c_str());
    std::fprintf(to, "; figures are medians of the runs.\n\n| build | folder |\n| --- | --- |\n");
    for (size_t b = 0; b < builds; ++b)
        std::fprintf(to, "| %s%s | %s |\n", markdown_text(s.plan.builds[b].label).c_str(),
                     b == s.plan.reference && s.several() ? " (reference)" : "",
                     markdown_text(s.plan.builds[b].dir).c_str());

    std::fprintf(to, "\n| program |");
    for (const Build &b : s.plan.builds)
        std::fprintf(to, " %s |", markdown_text(b.label).c_str());
    std::fprintf(to, "\n| --- |");
    for (size_t b = 0; b < builds; ++b)
        std::fprintf(to, " --- |");
    std::fprintf(to, "\n");
    for (size_t p = 0; p < programs; ++p) {
        std::fprintf(to, "| %s |", markdown_text(s.plan.programs[p]->name).c_str());
        for (size_t b = 0; b < builds; ++b)
            std::fprintf(to, " %s |", cell_text(s, s.cell(p, b), b).c_str());
        std::fprintf(to, "\n");
    }
    if (s.several())
        std::fprintf(to, "\n%s\n", markdown_text(legend(s)).c_str());

    const auto failed_cells = s.failures();
    if (!failed_cells.empty())
        std::fprintf(to, "\n#### Failures\n");
    for (auto [p, b] : failed_cells) {
        const Verdict &v = s.cell(p, b).verdict;
        std::fprintf(to, "\n**%s**: %s\n", markdown_text(s.name(p, b)).c_str(), markdown_text(v.text).c_str());
        if (!v.details.empty())
            std::fprintf(to, "\n");
        for (const std::string &d : v.details)
            std::fprintf(to, "- %s\n", markdown_text(d).c_str());
    }
}
