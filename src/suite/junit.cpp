// JUnit XML in the shape that both common schemas accept (the Jenkins xunit
// plugin's and the widely used JUnit.xsd): no attributes on <testsuites>,
// every attribute those schemas require, a timestamp without a zone, times
// in seconds, and <system-out/> and <system-err/> last.
#include <unistd.h>

#include <climits>

#include "escape.h"
#include "report.h"

namespace {

const char *fault_type(Fault f)
{
    switch (f) {
    case Fault::wrong_output: return "wrong-output";
    case Fault::wrong_status: return "wrong-exit-status";
    case Fault::standard_error: return "standard-error";
    case Fault::left_running: return "left-running";
    case Fault::signal: return "signal";
    case Fault::timeout: return "timeout";
    case Fault::missing: return "missing";
    case Fault::not_executable: return "not-executable";
    case Fault::none:
    case Fault::not_run: break;
    }
    return "";
}

std::string hostname()
{
    char name[HOST_NAME_MAX + 1] = "";
    if (gethostname(name, sizeof name) != 0 || name[0] == '\0')
        return "localhost";
    name[HOST_NAME_MAX] = '\0';
    return name;
}

void property(std::FILE *to, const char *name, const std::string &value)
{
    std::fprintf(to, "      <property name=\"%s\" value=\"%s\"/>\n", name, xml_text(value).c_str());
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

    std::fprintf(to, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n");
    std::fprintf(to,
                 "  <testsuite name=\"suite\" package=\"suite\" id=\"0\" tests=\"%zu\" failures=\"%zu\" errors=\"0\" "
                 "skipped=\"%zu\" time=\"%.3f\" timestamp=\"%s\" hostname=\"%s\">\n",
                 s.results.size(), s.count(failed), s.count(not_run), s.elapsed, timestamp,
                 xml_text(hostname()).c_str());
    std::fprintf(to, "    <properties>\n");
    property(to, "dir", s.dir);
    property(to, "timeout", limit);
    if (!s.runner.empty())
        property(to, "runner", s.runner);
    std::fprintf(to, "    </properties>\n");

    for (const Result &r : s.results) {
        std::fprintf(to, "    <testcase classname=\"suite\" name=\"%s\" time=\"%.3f\"", xml_text(r.contract->name).c_str(),
                     r.figures ? r.figures->wall : 0.0);
        const Verdict &v = r.verdict;
        if (passed(r)) {
            std::fprintf(to, "/>\n");
            continue;
        }
        if (not_run(r)) {
            std::string why = stopped_because(s);
            std::fprintf(to, ">\n      <skipped message=\"%s\"/>\n    </testcase>\n",
                         xml_text(why.empty() ? v.text : v.text + ": " + why).c_str());
            continue;
        }
        // The message is the verdict; the text, what the report shows below it.
        std::string text;
        for (const std::string &d : v.details)
            text += (text.empty() ? "" : "\n") + d;
        std::fprintf(to, ">\n      <failure type=\"%s\" message=\"%s\">%s</failure>\n    </testcase>\n",
                     fault_type(v.fault), xml_text(v.text).c_str(), xml_text(text.empty() ? v.text : text).c_str());
    }
    std::fprintf(to, "    <system-out/>\n    <system-err/>\n  </testsuite>\n</testsuites>\n");
}
