// What a check found, and the formats it is reported in: the text report or
// TAP on standard output as programs finish, and JUnit XML, JSON, Markdown
// and HTML files written at the end.  Every format reads this record alone.
#ifndef SUITE_REPORT_H
#define SUITE_REPORT_H

#include <cstdio>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "cell.h"
#include "plan.h"

// One check of one or more builds, as the reports tell it.
struct Check {
    Plan plan;
    double min_effect = default_min_effect;
    double limit = 10;  // seconds for each program
    std::string runner; // as given, empty for none
    std::time_t started = 0;
    std::string host;                 // where it ran
    std::vector<std::string> command; // suite's command line, as given
    double elapsed = 0;               // seconds for the whole check
    std::vector<Cell> cells; // as the plan numbers them, each concluded once its row is shown
    int signal = 0;          // what interrupted the check, if anything
    bool failed = false;     // suite itself failed and stopped the check

    bool several() const { return plan.builds.size() > 1; }
    const Cell &cell(size_t program, size_t build) const { return cells[program * plan.builds.size() + build]; }
    // How many comparisons a build has with the reference: the family in
    // which each is tested.
    size_t family() const { return plan.programs.size() * metrics.size(); }
    // The program's name, and "LABEL :: NAME" with several builds, as lit
    // names a test in a suite.
    std::string name(size_t program, size_t build) const;
    size_t count(bool (*which)(const Cell &)) const;
    // The cells that failed, as (program, build), in the order of the rows.
    std::vector<std::pair<size_t, size_t>> failures() const;
};

bool passed(const Cell &c);
bool failed(const Cell &c);
bool not_run(const Cell &c);

// "N passed, M failed", and ", K not run" when the check was cut short;
// cells counted.
std::string counts(const Check &s);

// The name of this machine, "localhost" where it has none.
std::string hostname();

// The command line as a shell would read it back: each word quoted where it
// needs it.
std::string command_line(const Check &s);

// How the check ended, for the last line of a report: "interrupted by
// SIGINT", or empty when it ran to its end.
std::string stopped_because(const Check &s);

// A cell's verdict in a few words, as a table's cell shows it: the kind's
// words, or "flaky: 2 of 20 runs failed".
std::string short_verdict(const Cell &c);

// The time limit as the reports show it: "10 s".
std::string limit_text(const Check &s);

// Peak memory as the reports show it: "1.3 MiB", "1010 MiB", and GiB from
// 1024 MiB.
std::string memory_text(long kib);

// The ratio of medians as the reports show it, "1.02x"; "-" where there is
// none.
std::string ratio_text(const Comparison &c);
// The mark beside it: slower, faster, larger, smaller as fits the metric,
// "~" for no clear difference and "?" for too few runs.
const char *mark(const Comparison &c, Metric m);
// JSON's and a script's word for it: higher, lower, same, too few runs.
const char *difference_word(Difference d);
// The legend that explains the marks.
std::string legend(const Check &s);

// Streamed to standard output: the header, one row of programs at a time in
// the programs' order, and the end.
struct Stream {
    void (*begin)(std::FILE *, const Check &);
    void (*row)(std::FILE *, const Check &, size_t program);
    void (*end)(std::FILE *, const Check &);
};
extern const Stream text_report;
extern const Stream tap_report;

// Whole files, written once everything is known.
void write_junit(std::FILE *to, const Check &s);
void write_json(std::FILE *to, const Check &s);
void write_markdown(std::FILE *to, const Check &s);
void write_html(std::FILE *to, const Check &s);

#endif
