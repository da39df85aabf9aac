#include "cell.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

double value(const Figures &f, Metric m)
{
    switch (m) {
    case Metric::wall_time: return f.wall;
    case Metric::exec_time: return f.user;
    case Metric::peak_rss_kib: return static_cast<double>(f.peak_kib);
    }
    return 0;
}

void add_run(Cell &c, std::size_t run, Verdict &&v, std::optional<Figures> figures)
{
    // Kept to the microsecond the reports carry, so that whoever reads them
    // has the samples that were compared.
    if (figures)
        for (double *t : {&figures->wall, &figures->user, &figures->sys})
            *t = std::round(*t * 1e6) / 1e6;
    // With more jobs than cells, a cell's runs may end out of turn.
    auto at = c.runs.end();
    while (at != c.runs.begin() && (at - 1)->run > run)
        --at;
    c.runs.insert(at, {run, v.fault, figures});
    if (v.fault == Fault::none)
        return;
    if (c.failures++ == 0 || run < c.first_failure) {
        c.first_failure = run;
        c.failure = std::move(v);
    }
}

void conclude(Cell &c, std::size_t planned)
{
    const std::size_t ran = c.runs.size();
    if (c.failures == 0) {
        c.verdict = ran == planned ? Verdict{Fault::none, "passed", {}} : Verdict{Fault::not_run, "not run", {}};
    } else if (c.failures < ran) {
        c.verdict = c.failure;
        c.verdict.fault = Fault::flaky;
        c.verdict.text = "flaky: failed " + std::to_string(c.failures) + " of " + std::to_string(ran) +
                         " runs; run " + std::to_string(c.first_failure + 1) + ": " + c.failure.text;
    } else {
        c.verdict = c.failure;
    }

    if (std::none_of(c.runs.begin(), c.runs.end(), [](const Sample &r) { return r.figures.has_value(); }))
        return;
    std::vector<double> sys;
    for (const Sample &r : c.runs)
        if (r.figures)
            sys.push_back(r.figures->sys);
    std::array<double, metrics.size()> mid{};
    for (Metric m : metrics) {
        std::vector<double> v = samples(c, m);
        std::sort(v.begin(), v.end());
        const auto i = static_cast<std::size_t>(m);
        mid[i] = quantile(v, 0.5);
        c.spread[i] = mid[i] > 0 ? (quantile(v, 0.75) - quantile(v, 0.25)) / mid[i] : 0;
    }
    c.median = Figures{mid[0], mid[1], median(sys), std::lround(mid[2])};
}

std::vector<double> samples(const Cell &c, Metric m)
{
    std::vector<double> v;
    for (const Sample &s : c.runs)
        if (s.figures)
            v.push_back(value(*s.figures, m));
    return v;
}

void compare_cells(const Cell &reference, Cell &other, double min_effect, std::size_t family)
{
    for (Metric m : metrics)
        other.compared[static_cast<std::size_t>(m)] =
            compare(samples(reference, m), samples(other, m), min_effect, family);
}
