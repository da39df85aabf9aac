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

namespace {

void usage()
{
    std::printf(
        "usage: suite [OPTION...] [DIR [NAME...]]\n"
        "\n"
        "Checks the programs of the suite in DIR against their reference outputs.\n"
        "DIR defaults to the folder that holds suite itself; NAMEs limit the check\n"
        "to those programs.\n"
        "\n"
        "Each program DIR/NAME runs with no arguments, standard input from /dev/null\n"
        "and a time limit. It passes when its standard output is exactly its\n"
        "reference output, its exit status is the one its reference defines (if\n"
        "any), it writes nothing to standard error, and it leaves no process running.\n"
        "One line per program tells its verdict, time and peak memory; the last line\n"
        "counts them.\n"
        "\n"
        "  -j, --jobs N          run up to N programs at once (default: one for each\n"
        "                        processor suite may use)\n"
        "      --timeout SECONDS time limit for each program (default 10)\n"
        "      --runner COMMAND  start each program as COMMAND DIR/NAME, COMMAND split\n"
        "                        into words as a shell does (e.g. 'valgrind -q')\n"
        "      --junit FILE      also write the results to FILE as JUnit XML\n"
        "      --json FILE       also write the results to FILE as JSON, as LLVM's lit does\n"
        "      --tap             report as TAP version 13 instead of text\n"
        "      --list            print each program's expected output and exit status\n"
        "  -h, --help            this text\n"
        "\n"
        "Exit status: 0 when every program passed, 1 when any failed, 2 on a bad\n"
        "command line or a failure of suite itself (a report it could not write\n"
        "among them). Stopped by SIGINT, SIGTERM or SIGHUP, it ends every program it\n"
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

enum Long { timeout = 256, runner, junit, json, tap, list_option };

} // namespace

int parse_options(int argc, char **argv, Options &o)
{
    static const option longs[] = {
        {"jobs", required_argument, nullptr, 'j'},      {"timeout", required_argument, nullptr, timeout},
        {"runner", required_argument, nullptr, runner}, {"junit", required_argument, nullptr, junit},
        {"json", required_argument, nullptr, json},     {"tap", no_argument, nullptr, tap},
        {"list", no_argument, nullptr, list_option},    {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    const std::string timeout_message = "--timeout takes a number of seconds, more than 0 and at most 86400";
    const std::string jobs_message = "--jobs takes a whole number of programs, at least 1";
    opterr = 0;
    for (;;) {
        int index = -1;
        int c = getopt_long(argc, argv, ":j:h", longs, &index);
        if (c == -1)
            break;
        switch (c) {
        case 'h':
            usage();
            return std::fflush(stdout) == 0 ? 0 : 2;
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
        case junit: o.junit = optarg; break;
        case json: o.json = optarg; break;
        case tap: o.tap = true; break;
        case list_option: o.list = true; break;
        case ':':
            if (optopt == timeout)
                return bad(timeout_message);
            if (optopt == 'j')
                return bad(jobs_message);
            return bad(std::string(argv[optind - 1]) + " needs a value");
        default:
            return bad("unknown option '" + std::string(argv[optind - 1]) + "'");
        }
    }
    if (o.list) {
        list();
        return std::fflush(stdout) == 0 ? 0 : 2;
    }
    if (!o.junit.empty() && o.junit == o.json)
        return bad("--junit and --json name the same file");
    if (o.jobs == 0)
        o.jobs = processors();

    if (optind < argc) {
        o.dir = argv[optind++];
        struct stat st {};
        if (stat(o.dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return bad("no such folder: " + o.dir);
        while (o.dir.size() > 1 && o.dir.back() == '/')
            o.dir.pop_back();
    } else if (std::optional<std::string> own = own_folder()) {
        o.dir = *own;
    } else {
        return bad("cannot tell which folder holds suite; name the folder to check");
    }

    for (; optind < argc; ++optind) {
        std::string_view name = argv[optind];
        auto all = contracts();
        auto c = std::find_if(all.begin(), all.end(), [&](const Contract &k) { return name == k.name; });
        if (c == all.end())
            return bad("no program named '" + std::string(name) + "'");
        o.programs.push_back(&*c);
    }
    if (o.programs.empty())
        for (const Contract &c : contracts())
            o.programs.push_back(&c);
    return -1;
}
