// JUnit XML in the shape that both common schemas accept (the Jenkins xunit
// plugin's and the widely used JUnit.xsd): no attributes on <testsuites>,
// every attribute those schemas require, a timestamp without a zone, times
// in seconds, and <system-out/> and <system-err/> last.  One <testsuite> per
// build, named by its label.
#include "escape.h"
#include "kinds.h"
#include "report.h"

namespace {

void property(std::FILE *to, const char *name, const std::string &value)
{
    std::fprintf(to, "      <property name=\"%s\" value=\"%s\"/>\n", name, xml_text(value).c_str());
}

void testcase(std::FILE *to, const Check &s, const Cell &c, const std::string &suite, const char *name)
{
    std::fprintf(to, "    <testcase classname=\"%s\" name=\"%s\" time=\"%.3f\"", suite.c_str(), xml_text(name).c_str(),
                 c.median ? c.median->wall : 0.0);
    const Verdict &v = c.verdict;
    switch (kind(v.fault).count) {
    case Count::passed: std::fprintf(to, "/>\n"); return;
    case Count::skipped: {
        std::string why = stopped_because(s);
        std::fprintf(to, ">\n      <skipped message=\"%s\"/>\n    </testcase>\n",
                     xml_text(why.empty() ? v.text : v.text + ": " + why).c_str());
        return;
    }
    case Count::failed: break;
    }
    // The message is the verdict; the text, what the report shows below it.
    std::string text;
    for (const std::string &d : v.details)
        text += (text.empty() ? "" : "\n") + d;
    std::fprintf(to, ">\n      <failure type=\"%s\" message=\"%s\">%s</failure>\n    </testcase>\n",
                 kind(v.fault).junit, xml_text(v.text).c_str(), xml_text(text.empty() ? v.text : text).c_str());
}

} // namespace

void write_junit(std::FILE *to, const Check &s)
{
    char timestamp[32];
    std::tm local{};
    localtime_r(&s.started, &local);
    std::strftime(timestamp, sizeof timestamp, "%Y-%m-%dT%H:%M:%S", &local);
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", s.limit);
    const std::string host = xml_text(s.host);

    std::fprintf(to, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n");
    for (size_t b = 0; b < s.plan.builds.size(); ++b) {
        size_t tests = 0;
        size_t failures = 0;
        size_t skipped = 0;
        double time = 0;
        for (size_t p = 0; p < s.plan.programs.size(); ++p) {
            const Cell &c = s.cell(p, b);
            ++tests;
            failures += failed(c) ? 1 : 0;
            skipped += not_run(c) ? 1 : 0;
            for (const Sample &r : c.runs)
                time += r.figures ? r.figures->wall : 0;
        }
        // A single build is the suite, as it has always been called.
        const std::string suite = xml_text(s.several() ? s.plan.builds[b].label : "suite");
        std::fprintf(to,
                     "  <testsuite name=\"%s\" package=\"suite\" id=\"%zu\" tests=\"%zu\" failures=\"%zu\" "
                     "errors=\"0\" skipped=\"%zu\" time=\"%.3f\" timestamp=\"%s\" hostname=\"%s\">\n",
                     suite.c_str(), b, tests, failures, skipped, s.several() ? time : s.elapsed, timestamp,
                     host.c_str());
        std::fprintf(to, "    <properties>\n");
        property(to, "dir", s.plan.builds[b].dir);
        if (s.several())
            property(to, "reference", b == s.plan.reference ? "true" : "false");
        property(to, "timeout", limit);
        if (!s.runner.empty())
            property(to, "runner", s.runner);
        if (s.plan.repeat > 1)
            property(to, "repeat", std::to_string(s.plan.repeat));
        std::fprintf(to, "    </properties>\n");
        for (size_t p = 0; p < s.plan.programs.size(); ++p)
            testcase(to, s, s.cell(p, b), suite, s.plan.programs[p]->name);
        std::fprintf(to, "    <system-out/>\n    <system-err/>\n  </testsuite>\n");
    }
    std::fprintf(to, "</testsuites>\n");
}
