// Results as LLVM's lit writes them with -o, so that the LLVM test-suite's
// utils/compare.py can set two runs side by side: tests[].name, .code and
// .metrics, with exec_time in user CPU seconds as the test-suite records it.
#include "escape.h"
#include "report.h"

namespace {

const char *code(const Result &r)
{
    if (passed(r))
        return "PASS";
    return not_run(r) ? "SKIPPED" : "FAIL";
}

// What the text report says of a program that did not pass.
std::string output(const Result &r, const Check &s)
{
    if (passed(r))
        return "";
    std::string out = r.verdict.text;
    if (not_run(r) && !stopped_because(s).empty())
        out += ": " + stopped_because(s);
    for (const std::string &d : r.verdict.details)
        out += "\n" + d;
    return out;
}

} // namespace

void write_json(std::FILE *to, const Check &s)
{
    std::fprintf(to, "{\"__version__\": [1, 0, 0], \"elapsed\": %.6f, \"tests\": [", s.elapsed);
    const char *separator = "\n";
    for (const Result &r : s.results) {
        std::fprintf(to, "%s  {\"name\": %s, \"code\": \"%s\", \"output\": %s, ", separator,
                     json_string(r.contract->name).c_str(), code(r), json_string(output(r, s)).c_str());
        separator = ",\n";
        if (!r.figures) {
            std::fprintf(to, "\"elapsed\": null}");
            continue;
        }
        const Figures &f = *r.figures;
        std::fprintf(to,
                     "\"elapsed\": %.6f,\n   \"metrics\": {\"exec_time\": %.6f, \"sys_time\": %.6f, "
                     "\"wall_time\": %.6f, \"peak_rss_kib\": %ld}}",
                     f.wall, f.user, f.sys, f.wall, f.peak_kib);
    }
    std::fprintf(to, "\n]}\n");
}
