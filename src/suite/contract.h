// The contracts: what each program must print and, where defined, the status
// it must end with; and the comparison of one run against its contract.
#ifndef SUITE_CONTRACT_H
#define SUITE_CONTRACT_H

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "run.h"

struct Contract {
    const char *name;
    std::string_view reference; // the exact output, then "exit N" where the status is defined
};

std::span<const Contract> contracts();

struct Expected {
    std::string_view out;
    std::optional<int> status;
};

Expected expected(const Contract &c);

// The kinds of fault, in the order in which a verdict names them.
enum class Fault {
    none,
    wrong_output,
    wrong_status,
    standard_error,
    left_running,
    signal,
    timeout,
    missing,
    not_executable,
    keeper,  // it stopped or ended the process that ran it
    not_run,
    flaky, // some runs of a repeated program passed and some failed
};

struct Verdict {
    Fault fault = Fault::none; // the first fault; none when passed
    std::string text;          // "passed", or each fault in a few words, joined by "; "
    std::vector<std::string> details;
};

Verdict judge(const Contract &c, const Launch &launch, const Run &r);

// A short, printable, quoted form of a line: what a verdict shows of output.
std::string quote(std::string_view s);

#endif
