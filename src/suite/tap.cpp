// TAP version 13, as Perl's prove reads it: the plan first, a test line per
// program, a YAML block with the verdict under each failure, the counts as a
// comment, and "Bail out!" when the check was cut short.
#include "escape.h"
#include "report.h"

namespace {

void begin(std::FILE *to, const Check & /*s*/, size_t programs)
{
    std::fprintf(to, "TAP version 13\n1..%zu\n", programs);
}

void result(std::FILE *to, const Result &r, size_t number)
{
    const char *name = r.contract->name;
    if (passed(r)) {
        std::fprintf(to, "ok %zu - %s\n", number, name);
    } else if (not_run(r)) {
        std::fprintf(to, "ok %zu - %s # SKIP %s\n", number, name, r.verdict.text.c_str());
    } else {
        std::fprintf(to, "not ok %zu - %s\n  ---\n  message: %s\n", number, name,
                     yaml_string(r.verdict.text).c_str());
        if (!r.verdict.details.empty()) {
            std::fprintf(to, "  details:\n");
            for (const std::string &d : r.verdict.details)
                std::fprintf(to, "    - %s\n", yaml_string(d).c_str());
        }
        std::fprintf(to, "  ...\n");
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

const Stream tap_report = {begin, result, end};
