#include "kinds.h"

namespace {

constexpr Kind table[] = {
    {Fault::none, "passed", "", "PASS", Count::passed},
    {Fault::wrong_output, "wrong output", "wrong-output", "FAIL", Count::failed},
    {Fault::wrong_status, "wrong exit status", "wrong-exit-status", "FAIL", Count::failed},
    {Fault::standard_error, "wrote to standard error", "standard-error", "FAIL", Count::failed},
    {Fault::left_running, "left processes running", "left-running", "FAIL", Count::failed},
    {Fault::signal, "killed by a signal", "signal", "FAIL", Count::failed},
    {Fault::timeout, "timed out", "timeout", "FAIL", Count::failed},
    {Fault::missing, "missing", "missing", "FAIL", Count::failed},
    {Fault::not_executable, "not executable", "not-executable", "FAIL", Count::failed},
    {Fault::keeper, "stopped or ended its keeper", "keeper", "FAIL", Count::failed},
    {Fault::not_run, "not run", "", "SKIPPED", Count::skipped},
    {Fault::flaky, "flaky", "flaky", "FAIL", Count::failed},
};

} // namespace

const Kind &kind(Fault f)
{
    for (const Kind &k : table)
        if (k.fault == f)
            return k;
    return table[1];
}
