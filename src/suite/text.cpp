// The text report: a line per program, in the programs' order, with its
// figures in aligned columns and its verdict last, then the counts.
#include "report.h"

#include <algorithm>
#include <cstring>

namespace {

int name_width()
{
    int w = static_cast<int>(std::strlen("program"));
    for (const Contract &c : contracts())
        w = std::max(w, static_cast<int>(std::strlen(c.name)));
    return w;
}

// Where the verdict starts: the name and three figures, each column two
// spaces from the last.
int verdict_column()
{
    return 2 + name_width() + 3 * (2 + 9) + 2;
}

void begin(std::FILE *to, const Check &s, size_t programs)
{
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g s", s.limit);
    std::fprintf(to, "checking %zu program%s in %s, time limit %s each\n", programs, programs == 1 ? "" : "s",
                 s.dir.c_str(), limit);
    std::fprintf(to, "  %-*s  %9s  %9s  %9s  %s\n", name_width(), "program", "wall", "cpu", "peak", "verdict");
}

void result(std::FILE *to, const Result &r, size_t /*number*/)
{
    char wall[32] = "";
    char cpu[32] = "";
    char peak[32] = "";
    if (r.figures) {
        std::snprintf(wall, sizeof wall, "%7.3f s", r.figures->wall);
        std::snprintf(cpu, sizeof cpu, "%7.3f s", r.figures->user + r.figures->sys);
        std::snprintf(peak, sizeof peak, "%5.1f MiB", static_cast<double>(r.figures->peak_kib) / 1024);
    }
    std::fprintf(to, "  %-*s  %9s  %9s  %9s  %s\n", name_width(), r.contract->name, wall, cpu, peak,
                 r.verdict.text.c_str());
    for (const std::string &d : r.verdict.details)
        std::fprintf(to, "%*s%s\n", verdict_column() + 2, "", d.c_str());
    std::fflush(to);
}

void end(std::FILE *to, const Check &s)
{
    std::fprintf(to, "%s\n", counts(s).c_str());
    if (std::string why = stopped_because(s); !why.empty())
        std::fprintf(to, "%s\n", why.c_str());
}

} // namespace

const Stream text_report = {begin, result, end};
