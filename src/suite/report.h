// What a check found, and the formats it is reported in: the text report or
// TAP on standard output as programs finish, and JUnit XML and JSON files
// written at the end.
#ifndef SUITE_REPORT_H
#define SUITE_REPORT_H

#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "contract.h"
#include "run.h"

struct Result {
    const Contract *contract;
    Verdict verdict;
    std::optional<Figures> figures; // when the program ran
};

// One check of a folder, as the reports tell it.
struct Check {
    std::string dir;    // as shown: no trailing slash
    double limit = 10;  // seconds for each program
    std::string runner; // as given, empty for none
    std::time_t started = 0;
    double elapsed = 0;          // seconds for the whole check
    std::vector<Result> results; // in the programs' order, once all are known
    int signal = 0;              // what interrupted the check, if anything
    bool failed = false;         // suite itself failed and stopped the check

    size_t count(bool (*which)(const Result &)) const;
};

bool passed(const Result &r);
bool failed(const Result &r);
bool not_run(const Result &r);

// "N passed, M failed", and ", K not run" when the check was cut short.
std::string counts(const Check &s);

// How the check ended, for the last line of a report: "interrupted by
// SIGINT", or empty when it ran to its end.
std::string stopped_because(const Check &s);

// Streamed to standard output: the header, one result at a time in the
// programs' order, and the end.
struct Stream {
    void (*begin)(std::FILE *, const Check &, size_t programs);
    void (*result)(std::FILE *, const Result &, size_t number);
    void (*end)(std::FILE *, const Check &);
};
extern const Stream text_report;
extern const Stream tap_report;

// Whole files, written once everything is known.
void write_junit(std::FILE *to, const Check &s);
void write_json(std::FILE *to, const Check &s);

// Writes a report into a new file beside path and renames it into place, so
// that path holds either a whole report or what it held before.  Returns an
// error message, empty on success.
std::string save_report(const std::string &path, void (*write)(std::FILE *, const Check &), const Check &s);

// Whether path can be written, before the check starts; an error message or
// empty.
std::string check_writable(const std::string &path);

#endif
