// The check as one small, static HTML page that needs nothing else: what was
// checked, the matrix of verdicts, for each program a chart of every run's
// wall time and peak memory per build with the numbers beside it, and each
// failure's details.  No script, no font, no image from anywhere: the charts
// are inline SVG, and the page's policy forbids loading anything.  Every text
// from outside goes out escaped, so it shows as text and makes no element.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "escape.h"
#include "kinds.h"
#include "report.h"

namespace {

std::string h(std::string_view s)
{
    return xml_text(s);
}

const char *style =
    ":root{color-scheme:light dark;--fg:#1b1b1b;--bg:#fff;--muted:#4d4d4d;--line:#c8c8c8;--pass:#0b6e2f;"
    "--fail:#a3151a;--flaky:#8a4a00;--skip:#4d4d4d;--dot:#1d4f9c;--ref:#6b1d9a}\n"
    "@media (prefers-color-scheme:dark){:root{--fg:#ececec;--bg:#141414;--muted:#b5b5b5;--line:#4a4a4a;"
    "--pass:#7fe0a0;--fail:#ff9a94;--flaky:#ffc880;--skip:#b5b5b5;--dot:#8fb8ff;--ref:#dba8ff}}\n"
    "body{font:1rem/1.45 system-ui,sans-serif;color:var(--fg);background:var(--bg);margin:0 auto;"
    "max-width:64rem;padding:1rem}\n"
    "h1{font-size:1.5rem}h2{font-size:1.25rem;margin-top:2rem}h3{font-size:1.1rem;margin-bottom:.25rem}\n"
    ".wide{overflow-x:auto}table{border-collapse:collapse;margin:.5rem 0}"
    "th,td{border:1px solid var(--line);padding:.2rem .5rem;text-align:left;vertical-align:top}\n"
    "td.n{text-align:right;font-variant-numeric:tabular-nums;white-space:nowrap}\n"
    ".pass{color:var(--pass)}.fail{color:var(--fail);font-weight:bold}.flaky{color:var(--flaky);font-weight:bold}"
    ".skip{color:var(--skip)}\n"
    "dt{font-weight:bold;float:left;clear:left;margin-right:.5rem}dd{margin:0 0 .2rem 0}\n"
    "code,pre{font-family:ui-monospace,monospace;white-space:pre-wrap;overflow-wrap:anywhere}\n"
    "svg{display:block;max-width:100%;height:auto}svg text{fill:var(--fg);font:12px system-ui,sans-serif}\n"
    ".grid{stroke:var(--line)}.dot,.bad{fill:none;stroke-width:6}.dot{stroke:var(--dot);stroke-opacity:.6;"
    "stroke-linecap:round}.bad{stroke:var(--fail);stroke-linecap:square}.median{stroke:var(--fg);"
    "stroke-width:2.5}.ref{fill:var(--ref);font-weight:bold}\n"
    "figure{margin:.5rem 0}figcaption{color:var(--muted);font-size:.9rem}\n"
    "@media print{body{max-width:none}.wide{overflow:visible}a{color:inherit;text-decoration:none}"
    "section{break-inside:avoid}}\n";

const char *css_class(const Cell &c)
{
    if (c.verdict.fault == Fault::flaky)
        return "flaky";
    switch (kind(c.verdict.fault).count) {
    case Count::passed: return "pass";
    case Count::failed: return "fail";
    case Count::skipped: break;
    }
    return "skip";
}

// A symbol for the eye and the words for everyone: a cell never says its
// verdict by colour alone.
std::string verdict_cell(const Cell &c, const std::string &more = "")
{
    const char *symbol = passed(c) ? "\xe2\x9c\x93" : not_run(c) ? "\xe2\x80\x93" : "\xe2\x9c\x97";
    const std::string words = short_verdict(c);
    return std::string("<td class=\"") + css_class(c) + "\"><span aria-hidden=\"true\">" + symbol + "</span> " +
           h(words) + more + "</td>";
}

// Figures as the page shows them, in a unit chosen for the largest.
struct Unit {
    const char *name;
    double per; // of the metric's own unit in this one
};

Unit unit_for(Metric m, double largest)
{
    if (m == Metric::peak_rss_kib)
        return largest >= 1024.0 * 1024 ? Unit{"GiB", 1024.0 * 1024} : largest >= 1024 ? Unit{"MiB", 1024} : Unit{"KiB", 1};
    return largest >= 1 ? Unit{"s", 1} : largest >= 1e-3 ? Unit{"ms", 1e-3} : Unit{"\xc2\xb5s", 1e-6};
}

std::string number(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, v >= 100 ? "%.0f" : v >= 10 ? "%.1f" : "%.2f", v);
    return buf;
}

std::string with_unit(double v, Unit u)
{
    return number(v / u.per) + "\xc2\xa0" + u.name;
}

// Where values fall across the chart: from 0 on a linear axis, or over a
// logarithmic one where they span more than ten times.
struct Scale {
    double lo = 0;
    double hi = 1;
    bool log = false;
    double x0 = 0;
    double x1 = 1;

    double at(double v) const
    {
        double f = log ? (std::log10(std::max(v, lo)) - std::log10(lo)) / (std::log10(hi) - std::log10(lo))
                       : (v - lo) / (hi - lo);
        return x0 + std::clamp(f, 0.0, 1.0) * (x1 - x0);
    }
};

Scale scale_of(const std::vector<double> &values, double x0, double x1)
{
    Scale s;
    s.x0 = x0;
    s.x1 = x1;
    if (values.empty())
        return s;
    const auto [small, large] = std::minmax_element(values.begin(), values.end());
    if (*small > 0 && *large / *small > 10) {
        s.log = true;
        s.lo = std::pow(10, std::floor(std::log10(*small)));
        s.hi = std::pow(10, std::ceil(std::log10(*large)));
    } else {
        s.hi = *large > 0 ? *large * 1.08 : 1;
    }
    return s;
}

std::vector<double> ticks(const Scale &s)
{
    std::vector<double> t;
    if (s.log) {
        for (int k = 0; s.lo * std::pow(10, k) <= s.hi * 1.0001; ++k)
            t.push_back(s.lo * std::pow(10, k));
        return t;
    }
    const double raw = s.hi / 5;
    const double tenth = std::pow(10, std::floor(std::log10(raw)));
    const double step = raw / tenth >= 5 ? 5 * tenth : raw / tenth >= 2 ? 2 * tenth : tenth;
    for (int i = 0; i * step <= s.hi * 1.0001; ++i)
        t.push_back(i * step);
    return t;
}

const char *metric_words(Metric m)
{
    return m == Metric::peak_rss_kib ? "peak memory" : m == Metric::wall_time ? "wall time" : "CPU time";
}

// A label short enough for the chart's margin; the table beside has it whole.
std::string short_label(const std::string &label)
{
    constexpr size_t most = 18;
    size_t chars = 0;
    for (size_t i = 0; i < label.size(); ++i)
        if ((label[i] & 0xc0) != 0x80 && ++chars > most)
            return label.substr(0, i) + "\xe2\x80\xa6";
    return label;
}

void chart(std::FILE *to, const Check &s, size_t program, Metric m)
{
    const size_t builds = s.plan.builds.size();
    const std::string name = s.plan.programs[program]->name;
    std::vector<double> all;
    for (size_t b = 0; b < builds; ++b)
        for (double v : samples(s.cell(program, b), m))
            all.push_back(v);
    constexpr double width = 640;
    constexpr double left = 150;
    constexpr double row = 26;
    const double height = 12 + row * static_cast<double>(builds) + 38;
    // The axis in the unit shown, so that its ticks fall on round numbers.
    const Unit u = unit_for(m, all.empty() ? 0 : *std::max_element(all.begin(), all.end()));
    for (double &v : all)
        v /= u.per;
    const Scale sc = scale_of(all, left, width - 24);
    auto x_of = [&](double v) { return sc.at(v / u.per); };
    const std::string id = "c-" + name + (m == Metric::wall_time ? "-wall" : "-peak");

    std::fprintf(to,
                 "<figure><svg viewBox=\"0 0 %.0f %.0f\" width=\"%.0f\" height=\"%.0f\" role=\"img\" "
                 "aria-labelledby=\"%s\"><title id=\"%s\">%s: %s of each run, per build, the median marked; the "
                 "numbers are in the table below</title>\n",
                 width, height, width, height, id.c_str(), id.c_str(), h(name).c_str(), metric_words(m));
    const double bottom = 12 + row * static_cast<double>(builds);
    for (double t : ticks(sc)) {
        const double x = sc.at(t);
        char label[32];
        std::snprintf(label, sizeof label, "%g", t);
        std::fprintf(to, "<line class=\"grid\" x1=\"%.1f\" y1=\"8\" x2=\"%.1f\" y2=\"%.0f\"/>"
                         "<text x=\"%.1f\" y=\"%.0f\" text-anchor=\"middle\">%s</text>\n",
                     x, x, bottom, x, bottom + 14, label);
    }
    std::fprintf(to, "<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"middle\">%s (%s%s)</text>\n", (left + width - 24) / 2,
                 bottom + 32, metric_words(m), u.name, sc.log ? ", logarithmic" : "");
    for (size_t b = 0; b < builds; ++b) {
        const Cell &c = s.cell(program, b);
        const double y = 12 + row * (static_cast<double>(b) + 0.5);
        const bool reference = s.several() && b == s.plan.reference;
        std::fprintf(to, "<text x=\"%.0f\" y=\"%.1f\" text-anchor=\"end\"%s>%s</text>\n", left - 10, y + 4,
                     reference ? " class=\"ref\"" : "", h(short_label(s.plan.builds[b].label)).c_str());
        // Each run a dot drawn as a round-capped stroke of no length, which
        // keeps a page of many runs small; a failed run a square.
        std::string good;
        std::string bad;
        for (const Sample &r : c.runs) {
            if (!r.figures)
                continue;
            // A little spread up and down, so that equal runs stay apart.
            const double dy = static_cast<double>(r.run % 5) * 2.5 - 5;
            char dot[48];
            std::snprintf(dot, sizeof dot, "M%.1f %.1fh0", x_of(value(*r.figures, m)), y + dy);
            (r.fault == Fault::none ? good : bad) += dot;
        }
        std::fprintf(to, "<g>");
        if (!good.empty())
            std::fprintf(to, "<path class=\"dot\" d=\"%s\"/>", good.c_str());
        if (!bad.empty())
            std::fprintf(to, "<path class=\"bad\" d=\"%s\"/>", bad.c_str());
        if (c.median) {
            const double x = x_of(value(*c.median, m));
            std::fprintf(to, "<line class=\"median\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>", x, y - 10, x,
                         y + 10);
        }
        std::fprintf(to, "</g>\n");
    }
    std::fprintf(to, "</svg><figcaption>%s of %s: each run a dot (a square where the run failed), the median a "
                     "bar.</figcaption></figure>\n",
                 metric_words(m), h(name).c_str());

    // The same numbers as a table, for everyone and for print.
    std::fprintf(to, "<div class=\"wide\"><table><caption class=\"n\">%s of %s</caption>\n<tr><th>build</th>"
                     "<th>verdict</th><th>runs</th><th>median</th><th>lowest</th><th>highest</th>",
                 metric_words(m), h(name).c_str());
    if (s.several())
        std::fprintf(to, "<th>ratio to %s</th><th>difference</th>", h(s.plan.builds[s.plan.reference].label).c_str());
    std::fprintf(to, "</tr>\n");
    for (size_t b = 0; b < builds; ++b) {
        const Cell &c = s.cell(program, b);
        std::vector<double> v = samples(c, m);
        std::fprintf(to, "<tr><th>%s</th>%s<td class=\"n\">%zu</td>", h(s.plan.builds[b].label).c_str(),
                     verdict_cell(c).c_str(), c.runs.size());
        if (c.median && !v.empty())
            std::fprintf(to, "<td class=\"n\">%s</td><td class=\"n\">%s</td><td class=\"n\">%s</td>",
                         with_unit(value(*c.median, m), u).c_str(),
                         with_unit(*std::min_element(v.begin(), v.end()), u).c_str(),
                         with_unit(*std::max_element(v.begin(), v.end()), u).c_str());
        else
            std::fprintf(to, "<td></td><td></td><td></td>");
        if (s.several()) {
            const auto &cmp = c.compared[static_cast<size_t>(m)];
            if (b == s.plan.reference) {
                std::fprintf(to, "<td>reference</td><td></td>");
            } else if (cmp) {
                std::string p;
                if (cmp->p) {
                    char buf[32];
                    std::snprintf(buf, sizeof buf, " (p = %.2g)", *cmp->p);
                    p = buf;
                }
                const char *words = cmp->verdict == Difference::same      ? "no clear difference"
                                    : cmp->verdict == Difference::too_few ? "too few runs to tell"
                                                                          : mark(*cmp, m);
                std::fprintf(to, "<td class=\"n\">%s</td><td>%s%s</td>", h(ratio_text(*cmp)).c_str(), words,
                             p.c_str());
            } else {
                std::fprintf(to, "<td></td><td>not compared</td>");
            }
        }
        std::fprintf(to, "</tr>\n");
    }
    std::fprintf(to, "</table></div>\n");
}

void header(std::FILE *to, const Check &s)
{
    char when[64];
    std::tm local{};
    localtime_r(&s.started, &local);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S %z", &local);
    std::fprintf(to, "<h1>suite: %s</h1>\n", h(counts(s)).c_str());
    if (std::string why = stopped_because(s); !why.empty())
        std::fprintf(to, "<p class=\"fail\">%s</p>\n", h(why).c_str());
    std::fprintf(to, "<dl><dt>when</dt><dd>%s</dd><dt>host</dt><dd>%s</dd><dt>command</dt><dd><code>%s</code></dd>"
                     "<dt>programs</dt><dd>%zu, each run %d time%s, time limit %s</dd>",
                 when, h(s.host).c_str(), h(command_line(s)).c_str(), s.plan.programs.size(), s.plan.repeat,
                 s.plan.repeat == 1 ? "" : "s", limit_text(s).c_str());
    if (!s.runner.empty())
        std::fprintf(to, "<dt>runner</dt><dd><code>%s</code></dd>", h(s.runner).c_str());
    if (s.several())
        std::fprintf(to, "<dt>real difference</dt><dd>%s</dd>", h(legend(s)).c_str());
    std::fprintf(to, "</dl>\n<div class=\"wide\"><table><caption class=\"n\">builds</caption>\n"
                     "<tr><th>build</th><th>folder</th></tr>\n");
    for (size_t b = 0; b < s.plan.builds.size(); ++b)
        std::fprintf(to, "<tr><th>%s%s</th><td><code>%s</code></td></tr>\n", h(s.plan.builds[b].label).c_str(),
                     s.several() && b == s.plan.reference ? " (reference)" : "", h(s.plan.builds[b].dir).c_str());
    std::fprintf(to, "</table></div>\n");
}

void matrix(std::FILE *to, const Check &s)
{
    std::fprintf(to, "<h2>Verdicts</h2>\n<div class=\"wide\"><table class=\"matrix\"><caption class=\"n\">each "
                     "program in each build</caption>\n<tr><th>program</th>");
    for (const Build &b : s.plan.builds)
        std::fprintf(to, "<th>%s</th>", h(b.label).c_str());
    std::fprintf(to, "</tr>\n");
    for (size_t p = 0; p < s.plan.programs.size(); ++p) {
        const std::string name = s.plan.programs[p]->name;
        std::fprintf(to, "<tr><th><a href=\"#p-%s\">%s</a></th>", name.c_str(), h(name).c_str());
        for (size_t b = 0; b < s.plan.builds.size(); ++b) {
            // Beside the reference, how the wall time compares, at a glance.
            const auto &cmp = s.cell(p, b).compared[static_cast<size_t>(Metric::wall_time)];
            std::string more;
            if (cmp && cmp->verdict != Difference::too_few)
                more = "<br><small>wall " + h(ratio_text(*cmp)) + " " +
                       (cmp->verdict == Difference::same ? "no clear difference" : mark(*cmp, Metric::wall_time)) +
                       "</small>";
            std::fprintf(to, "%s", verdict_cell(s.cell(p, b), more).c_str());
        }
        std::fprintf(to, "</tr>\n");
    }
    std::fprintf(to, "</table></div>\n");
}

void failures(std::FILE *to, const Check &s)
{
    const auto failed_cells = s.failures();
    if (!failed_cells.empty())
        std::fprintf(to, "<h2>Failures</h2>\n");
    for (auto [p, b] : failed_cells) {
        const Verdict &v = s.cell(p, b).verdict;
        std::fprintf(to, "<details open><summary><strong>%s</strong>: %s</summary>", h(s.name(p, b)).c_str(),
                     h(v.text).c_str());
        if (!v.details.empty()) {
            std::fprintf(to, "<ul>");
            for (const std::string &d : v.details)
                std::fprintf(to, "<li><code>%s</code></li>", h(d).c_str());
            std::fprintf(to, "</ul>");
        }
        std::fprintf(to, "</details>\n");
    }
}

} // namespace

void write_html(std::FILE *to, const Check &s)
{
    std::fprintf(to,
                 "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                 "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src "
                 "'unsafe-inline'; base-uri 'none'; form-action 'none'\">\n"
                 "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                 "<meta name=\"color-scheme\" content=\"light dark\">\n<title>suite: %s</title>\n<style>\n%s</style>\n"
                 "</head>\n<body>\n",
                 h(counts(s)).c_str(), style);
    header(to, s);
    matrix(to, s);
    std::fprintf(to, "<h2>Programs</h2>\n");
    for (size_t p = 0; p < s.plan.programs.size(); ++p) {
        std::fprintf(to, "<section id=\"p-%s\"><h3>%s</h3>\n", s.plan.programs[p]->name,
                     h(s.plan.programs[p]->name).c_str());
        chart(to, s, p, Metric::wall_time);
        chart(to, s, p, Metric::peak_rss_kib);
        std::fprintf(to, "</section>\n");
    }
    failures(to, s);
    std::fprintf(to, "</body>\n</html>\n");
}
