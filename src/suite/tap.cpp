// TAP version 13, as Perl's prove reads it: the plan first, a test line per
// cell, a YAML block with the verdict under each failure, the counts as a
// comment, and "Bail out!" when the check was cut short.
#include "escape.h"
#include "kinds.h"
#include "report.h"

namespace {

void begin(std::FILE *to, const Check &s)
{
    std::fprintf(to, "TAP version 13\n1..%zu\n", s.cells.size());
}

void row(std::FILE *to, const Check &s, size_t program)
{
    const size_t builds = s.plan.builds.size();
    for (size_t b = 0; b < builds; ++b) {
        const Cell &c = s.cell(program, b);
        const size_t number = program * builds + b + 1;
        const std::string name = text_escaped(s.name(program, b));
        switch (kind(c.verdict.fault).count) {
        case Count::passed: std::fprintf(to, "ok %zu - %s\n", number, name.c_str()); break;
        case Count::skipped:
            std::fprintf(to, "ok %zu - %s # SKIP %s\n", number, name.c_str(), c.verdict.text.c_str());
            break;
        case Count::failed:
            std::fprintf(to, "not ok %zu - %s\n  ---\n  message: %s\n", number, name.c_str(),
                         yaml_string(c.verdict.text).c_str());
            if (!c.verdict.details.empty()) {
                std::fprintf(to, "  details:\n");
                for (const std::string &d : c.verdict.details)
                    std::fprintf(to, "    - %s\n", yaml_string(d).c_str());
            }
            std::fprintf(to, "  ...\n");
            break;
        }
    }
    std::fflush(to);
}

void end(std::FILE *to, const Check &s)
{
    std::fprintf(to, "# %s\n", counts(s).c_str());
    if (std::string why = stopped_because(s); !why.empty())
        std::fprintf(to, "Bail out! %s\n", why.c_str());
}

} // namespace

const Stream tap_report = {begin, row, end};
