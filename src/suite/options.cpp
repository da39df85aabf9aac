#include "options.h"

#include <getopt.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wordexp.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

namespace {

void usage()
{
    std::printf(
        "usage: suite [OPTION...] [[LABEL=]DIR...] [NAME...]\n"
        "\n"
        "Checks the programs of the suite in each DIR against their reference\n"
        "outputs. DIR defaults to the folder that holds suite itself; NAMEs limit\n"
        "the check to those programs. A word that holds a slash is a folder; a\n"
        "program's name is a NAME; write ./WORD for a folder that is named like a\n"
        "program or holds '='. Each build is called by a LABEL, by default the\n"
        "shortest end of its path that tells it from the others (a last 'bin'\n"
        "dropped); the first is the reference the others are compared with.\n"
        "\n"
        "Each program DIR/NAME runs with no arguments, standard input from /dev/null\n"
        "and a time limit. It passes when its standard output is exactly its\n"
        "reference output, its exit status is the one its reference defines (if\n"
        "any), it writes nothing to standard error, and it leaves no process running.\n"
        "One line per program tells its verdict, time and peak memory; the last line\n"
        "counts them. With several builds, a table has a row per program and a\n"
        "column per build.\n"
        "\n"
        "  -j, --jobs N          run up to N programs at once (default: one for each\n"
        "                        processor suite may use; one with --repeat)\n"
        "      --timeout SECONDS time limit for each program (default 10)\n"
        "      --repeat N        run each program of each build N times, in turn (1 to\n"
        "                        1000; default 1); a program passes when every run does\n"
        "      --reference LABEL compare the other builds with this one (default: the\n"
        "                        first)\n"
        "      --min-effect PCT  the least difference of medians, in per cent of the\n"
        "                        reference's, that counts as real (default 10)\n"
        "      --runner COMMAND  start each program as COMMAND DIR/NAME, COMMAND split\n"
        "                        into words as a shell does (e.g. 'valgrind -q')\n"
        "      --junit FILE      also write the results to FILE as JUnit XML\n"
        "      --json FILE       also write the results to FILE as JSON, as LLVM's lit does\n"
        "      --markdown FILE   also write the results to FILE as a Markdown table\n"
        "      --html FILE       also write the results to FILE as a page with charts\n"
        "      --tap             report as TAP version 13 instead of text\n"
        "      --list            print each program's expected output and exit status\n"
        "  -h, --help            this text\n"
        "\n"
        "Exit status: 0 when every program passed, 1 when any failed, 2 on a bad\n"
        "command line or a failure of suite itself (a report it could not write\n"
        "among them). Stopped by a signal (SIGINT, SIGTERM, SIGHUP, SIGQUIT, ...), or\n"
        "when standard output's reader goes away, it ends every program it\n"
        "started, finishes its reports, and ends by that signal.\n"
        "\n"
        "Programs:");
    for (const Contract &c : contracts())
        std::printf(" %s", c.name);
    std::printf("\n");
}

int bad(const std::string &message)
{
    std::fprintf(stderr, "suite: %s\nTry 'suite --help'.\n", message.c_str());
    return 2;
}

// A plain decimal number: digits, and a point with digits after it.  No
// sign, blanks, exponent or hexadecimal.
std::optional<double> decimal(const char *s)
{
    const char *p = s;
    size_t whole = std::strspn(p, "0123456789");
    p += whole;
    size_t fraction = 0;
    if (*p == '.') {
        fraction = std::strspn(p + 1, "0123456789");
        if (fraction == 0)
            return std::nullopt;
        p += 1 + fraction;
    }
    if (*p != '\0' || whole + fraction == 0 || whole > 9)
        return std::nullopt;
    return std::strtod(s, nullptr);
}

// What wordexp refuses, in the words of the command line.
const char *word_error(int e)
{
    switch (e) {
    case WRDE_BADCHAR: return "an unquoted | & ; < > ( ) { } or newline";
    case WRDE_CMDSUB: return "a command substitution, which suite does not run";
    case WRDE_SYNTAX: return "a quote left open, or another syntax error";
    case WRDE_NOSPACE: return "no memory to split it";
    default: return "it cannot be split into words";
    }
}

int processors()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return 1;
    return std::max(1, CPU_COUNT(&set));
}

// The folder that holds this executable.
std::optional<std::string> own_folder()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return std::nullopt;
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return std::nullopt;
    return slash == 0 ? "/" : path.substr(0, slash);
}

void list()
{
    for (const Contract &c : contracts()) {
        Expected e = expected(c);
        if (e.status)
            std::printf("%s: exit status %d\n", c.name, *e.status);
        else
            std::printf("%s: exit status not checked\n", c.name);
        std::string_view out = e.out;
        while (!out.empty()) {
            size_t nl = out.find('\n');
            std::string_view line = out.substr(0, nl);
            std::printf("  %.*s%s\n", static_cast<int>(line.size()), line.data(),
                        nl == std::string_view::npos ? " (no newline at end)" : "");
            out.remove_prefix(nl == std::string_view::npos ? out.size() : nl + 1);
        }
    }
}

enum Long { timeout = 256, runner, junit, json, markdown, html, tap, list_option, repeat, reference, min_effect };

// The folders of the command line, each with its label if one was given.
struct Folder {
    std::string label;
    bool labelled = false;
    std::string dir;
};

bool is_folder(const std::string &path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

const Contract *program_named(std::string_view name)
{
    for (const Contract &c : contracts())
        if (name == c.name)
            return &c;
    return nullptr;
}

// Tells a folder from a program's name, guessing at nothing: a word that
// holds a slash is a folder, or LABEL=DIR where the part before the first
// '=' holds none; a program's name is a NAME.  A word that could be read
// both ways is refused.  Returns an error message, empty on success.
std::string classify(const std::string &word, std::vector<Folder> &folders, std::vector<const Contract *> &programs)
{
    const size_t eq = word.find('=');
    const size_t slash = word.find('/');
    const bool labelled = eq != std::string::npos && (slash == std::string::npos || eq < slash);
    const Contract *program = slash == std::string::npos && !labelled ? program_named(word) : nullptr;
    if (program != nullptr) {
        if (is_folder(word))
            return "'" + word + "' is both a program's name and a folder here; write ./" + word +
                   " for the folder, or run suite from another folder to check the program";
        programs.push_back(program);
        return "";
    }
    if (labelled && is_folder(word))
        return "'" + word + "' is a folder and reads as LABEL=DIR too; write ./" + word + " for the folder";
    Folder f = labelled ? Folder{word.substr(0, eq), true, word.substr(eq + 1)} : Folder{"", false, word};
    if (labelled && f.label.empty())
        return "'" + word + "' gives an empty label";
    if (!is_folder(f.dir))
    {
        if (slash != std::string::npos || labelled)
            return "no such folder: " + f.dir;
        return folders.empty() && programs.empty() ? "no program or folder named '" + word + "'"
                                                   : "no program named '" + word + "'";
    }
    if (!programs.empty())
        return "the folder " + f.dir + " comes after a program's name; give the folders first";
    folders.push_back(f);
    return "";
}

// The folder as an absolute path without a trailing slash, for labels.
std::string absolute(const std::string &dir)
{
    char *real = realpath(dir.c_str(), nullptr);
    if (real == nullptr)
        return dir;
    std::string r = real;
    std::free(real);
    return r == "/" ? "" : r;
}

// The builds, each folder checked once, with their labels and reference.
std::string make_builds(const std::vector<Folder> &folders, const std::string &reference, Plan &plan)
{
    std::vector<std::pair<dev_t, ino_t>> seen;
    std::vector<std::string> paths;
    for (const Folder &f : folders) {
        struct stat st {};
        if (stat(f.dir.c_str(), &st) != 0)
            return "no such folder: " + f.dir;
        for (size_t i = 0; i < seen.size(); ++i)
            if (seen[i] == std::pair(st.st_dev, st.st_ino))
                return folders[i].dir + " and " + f.dir + " are the same folder";
        seen.emplace_back(st.st_dev, st.st_ino);
        paths.push_back(absolute(f.dir));
    }
    std::vector<std::string> labels = default_labels(paths);
    plan.builds.clear();
    for (size_t i = 0; i < folders.size(); ++i) {
        std::string dir = folders[i].dir;
        while (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
        plan.builds.push_back({folders[i].labelled ? folders[i].label : labels[i], dir});
    }
    for (size_t i = 0; i < plan.builds.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (plan.builds[i].label == plan.builds[j].label)
                return "two builds are labelled '" + plan.builds[i].label + "'; label one as LABEL=DIR";
    plan.reference = 0;
    if (reference.empty())
        return "";
    for (size_t i = 0; i < plan.builds.size(); ++i)
        if (plan.builds[i].label == reference) {
            plan.reference = i;
            return "";
        }
    std::string known;
    for (const Build &b : plan.builds)
        known += (known.empty() ? "" : ", ") + b.label;
    return "--reference " + reference + " names no build; the builds are " + known;
}

} // namespace

int parse_options(int argc, char **argv, Options &o)
{
    static const option longs[] = {
        {"jobs", required_argument, nullptr, 'j'},      {"timeout", required_argument, nullptr, timeout},
        {"runner", required_argument, nullptr, runner}, {"junit", required_argument, nullptr, junit},
        {"json", required_argument, nullptr, json},     {"tap", no_argument, nullptr, tap},
        {"list", no_argument, nullptr, list_option},    {"help", no_argument, nullptr, 'h'},
        {"markdown", required_argument, nullptr, markdown}, {"repeat", required_argument, nullptr, repeat},
        {"html", required_argument, nullptr, html},
        {"reference", required_argument, nullptr, reference}, {"min-effect", required_argument, nullptr, min_effect},
        {nullptr, 0, nullptr, 0},
    };
    const std::string timeout_message = "--timeout takes a number of seconds, more than 0 and at most 86400";
    const std::string jobs_message = "--jobs takes a whole number of programs, at least 1";
    const std::string repeat_message = "--repeat takes a whole number of runs, from 1 to 1000";
    const std::string effect_message = "--min-effect takes a per cent, a plain decimal number from 0 to 1000";
    std::string reference_label;
    opterr = 0;
    for (;;) {
        int index = -1;
        int c = getopt_long(argc, argv, ":j:h", longs, &index);
        if (c == -1)
            break;
        switch (c) {
        case 'h':
            usage();
            return 0;
        case 'j': {
            std::optional<double> n = decimal(optarg);
            if (!n || *n < 1 || *n > 1000 || *n != static_cast<int>(*n))
                return bad(jobs_message);
            o.jobs = static_cast<int>(*n);
            break;
        }
        case timeout: {
            std::optional<double> s = decimal(optarg);
            if (!s || *s <= 0 || *s > 86400)
                return bad(timeout_message);
            o.limit = *s;
            break;
        }
        case runner: {
            o.runner_text = optarg;
            o.runner.clear();
            wordexp_t words;
            int e = wordexp(optarg, &words, WRDE_NOCMD);
            if (e != 0) {
                if (e == WRDE_NOSPACE)
                    wordfree(&words);
                return bad("--runner '" + o.runner_text + "' holds " + word_error(e));
            }
            for (size_t i = 0; i < words.we_wordc; ++i)
                o.runner.emplace_back(words.we_wordv[i]);
            wordfree(&words);
            if (o.runner.empty())
                return bad("--runner names no command");
            break;
        }
        case repeat: {
            std::optional<double> n = decimal(optarg);
            if (!n || *n < 1 || *n > 1000 || *n != static_cast<int>(*n))
                return bad(repeat_message);
            o.plan.repeat = static_cast<int>(*n);
            break;
        }
        case min_effect: {
            std::optional<double> pct = decimal(optarg);
            if (!pct || *pct > 1000)
                return bad(effect_message);
            o.min_effect = *pct / 100;
            break;
        }
        case reference:
            reference_label = optarg;
            if (reference_label.empty())
                return bad("--reference takes a build's label");
            break;
        case markdown: o.markdown = optarg; break;
        case html: o.html = optarg; break;
        case junit: o.junit = optarg; break;
        case json: o.json = optarg; break;
        case tap: o.tap = true; break;
        case list_option: o.list = true; break;
        case ':':
            if (optopt == timeout)
                return bad(timeout_message);
            if (optopt == 'j')
                return bad(jobs_message);
            if (optopt == repeat)
                return bad(repeat_message);
            if (optopt == min_effect)
                return bad(effect_message);
            return bad(std::string(argv[optind - 1]) + " needs a value");
        default:
            return bad("unknown option '" + std::string(argv[optind - 1]) + "'");
        }
    }
    if (o.list) {
        list();
        return 0;
    }
    // Programs measured side by side disturb each other's figures: repeated
    // runs, which are for comparing them, take one place unless told more.
    if (o.jobs == 0)
        o.jobs = o.plan.repeat > 1 ? 1 : processors();

    std::vector<Folder> folders;
    for (; optind < argc; ++optind)
        if (std::string e = classify(argv[optind], folders, o.plan.programs); !e.empty())
            return bad(e);
    if (folders.empty()) {
        std::optional<std::string> own = own_folder();
        if (!own)
            return bad("cannot tell which folder holds suite; name the folder to check");
        folders.push_back({"", false, *own});
    }
    if (std::string e = make_builds(folders, reference_label, o.plan); !e.empty())
        return bad(e);
    if (o.plan.programs.empty())
        for (const Contract &c : contracts())
            o.plan.programs.push_back(&c);
    return -1;
}
