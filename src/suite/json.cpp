// Results as LLVM's lit writes them with -o, so that the LLVM test-suite's
// utils/compare.py can set two checks side by side: tests[].name, .code and
// .metrics, with exec_time in user CPU seconds as the test-suite records it,
// and the medians of the cell's runs as its metrics.  suite's own keys, which
// compare.py passes over: each test's runs, and beside the tests the builds
// and every comparison of a build with the reference.
#include "escape.h"
#include "kinds.h"
#include "report.h"

namespace {

// What the text report says of a cell that did not pass.
std::string output(const Cell &c, const Check &s)
{
    if (passed(c))
        return "";
    std::string out = c.verdict.text;
    if (not_run(c) && !stopped_because(s).empty())
        out += ": " + stopped_because(s);
    for (const std::string &d : c.verdict.details)
        out += "\n" + d;
    return out;
}

std::string metrics_text(const Figures &f)
{
    char buf[160];
    std::snprintf(buf, sizeof buf,
                  "\"exec_time\": %.6f, \"sys_time\": %.6f, \"wall_time\": %.6f, \"peak_rss_kib\": %ld", f.user,
                  f.sys, f.wall, f.peak_kib);
    return buf;
}

const char *metric_name(Metric m)
{
    switch (m) {
    case Metric::wall_time: return "wall_time";
    case Metric::exec_time: return "exec_time";
    case Metric::peak_rss_kib: return "peak_rss_kib";
    }
    return "";
}

// A number, or null where there is none; enough digits to hold a p-value's
// size and a ratio's precision.
std::string number(const std::optional<double> &v)
{
    if (!v)
        return "null";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", *v);
    return buf;
}

void builds(std::FILE *to, const Check &s)
{
    std::fprintf(to, "\"builds\": [");
    for (size_t b = 0; b < s.plan.builds.size(); ++b)
        std::fprintf(to, "%s\n  {\"label\": %s, \"dir\": %s, \"reference\": %s}", b == 0 ? "" : ",",
                     json_string(s.plan.builds[b].label).c_str(), json_string(s.plan.builds[b].dir).c_str(),
                     b == s.plan.reference ? "true" : "false");
    std::fprintf(to, "\n],\n");
}

void comparisons(std::FILE *to, const Check &s)
{
    std::fprintf(to, "\"comparisons\": [");
    const char *separator = "\n";
    for (size_t p = 0; p < s.plan.programs.size(); ++p)
        for (size_t b = 0; b < s.plan.builds.size(); ++b)
            for (Metric m : metrics) {
                const auto &c = s.cell(p, b).compared[static_cast<size_t>(m)];
                if (!c)
                    continue;
                std::fprintf(to,
                             "%s  {\"build\": %s, \"program\": %s, \"metric\": \"%s\", \"ratio\": %s, "
                             "\"p_value\": %s, \"verdict\": \"%s\"}",
                             separator, json_string(s.plan.builds[b].label).c_str(),
                             json_string(s.plan.programs[p]->name).c_str(), metric_name(m), number(c->ratio).c_str(),
                             number(c->p).c_str(), difference_word(c->verdict));
                separator = ",\n";
            }
    std::fprintf(to, "\n],\n");
}

void test(std::FILE *to, const Check &s, size_t p, size_t b)
{
    const Cell &c = s.cell(p, b);
    std::fprintf(to, "  {\"name\": %s, \"code\": \"%s\", \"output\": %s, ", json_string(s.name(p, b)).c_str(),
                 kind(c.verdict.fault).lit, json_string(output(c, s)).c_str());
    if (c.median)
        std::fprintf(to, "\"elapsed\": %.6f,\n   \"metrics\": {%s},\n   \"runs\": [", c.median->wall,
                     metrics_text(*c.median).c_str());
    else
        std::fprintf(to, "\"elapsed\": null,\n   \"runs\": [");
    for (size_t r = 0; r < c.runs.size(); ++r) {
        const Sample &sample = c.runs[r];
        std::fprintf(to, "%s{\"code\": \"%s\"%s%s}", r == 0 ? "" : ",\n    ", kind(sample.fault).lit,
                     sample.figures ? ", " : "", sample.figures ? metrics_text(*sample.figures).c_str() : "");
    }
    std::fprintf(to, "]}");
}

} // namespace

void write_json(std::FILE *to, const Check &s)
{
    std::fprintf(to, "{\"__version__\": [1, 0, 0], \"elapsed\": %.6f,\n", s.elapsed);
    builds(to, s);
    comparisons(to, s);
    std::fprintf(to, "\"tests\": [\n");
    for (size_t p = 0; p < s.plan.programs.size(); ++p)
        for (size_t b = 0; b < s.plan.builds.size(); ++b) {
            test(to, s, p, b);
            std::fprintf(to, "%s\n", p + 1 == s.plan.programs.size() && b + 1 == s.plan.builds.size() ? "" : ",");
        }
    std::fprintf(to, "]}\n");
}
