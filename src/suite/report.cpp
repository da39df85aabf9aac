#include "report.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

size_t Check::count(bool (*which)(const Result &)) const
{
    return static_cast<size_t>(std::count_if(results.begin(), results.end(), which));
}

bool passed(const Result &r)
{
    return r.verdict.fault == Fault::none;
}

bool failed(const Result &r)
{
    return r.verdict.fault != Fault::none && r.verdict.fault != Fault::not_run;
}

bool not_run(const Result &r)
{
    return r.verdict.fault == Fault::not_run;
}

std::string counts(const Check &s)
{
    std::string c = std::to_string(s.count(passed)) + " passed, " + std::to_string(s.count(failed)) + " failed";
    if (size_t n = s.count(not_run); n > 0)
        c += ", " + std::to_string(n) + " not run";
    return c;
}

std::string stopped_because(const Check &s)
{
    if (s.signal != 0) {
        const char *abbrev = sigabbrev_np(s.signal);
        return std::string("interrupted by ") + (abbrev ? std::string("SIG") + abbrev : std::to_string(s.signal));
    }
    if (s.failed)
        return "stopped by a failure of suite itself";
    return "";
}

namespace {

std::string folder_of(const std::string &path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A report goes to a new file that replaces path in one step.  Where path
// is a symbolic link, the file it points to is replaced, not the link.
std::string replaced_file(const std::string &path)
{
    char *real = realpath(path.c_str(), nullptr);
    if (real == nullptr)
        return path;
    std::string r = real;
    std::free(real);
    return r;
}

// Something that is not a file, such as /dev/stdout or a pipe, is written
// to as it is.
bool is_special(const std::string &path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

std::string write_to(std::FILE *f, const std::string &path, void (*write)(std::FILE *, const Check &), const Check &s)
{
    write(f, s);
    errno = 0;
    bool ok = std::fflush(f) == 0 && std::ferror(f) == 0;
    int e = errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        e = errno;
    }
    if (ok)
        return "";
    return "cannot write " + path + (e != 0 ? std::string(": ") + std::strerror(e) : "");
}

} // namespace

std::string check_writable(const std::string &path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return path + " is a folder";
    if (is_special(path))
        return access(path.c_str(), W_OK) == 0 ? "" : "cannot write " + path + ": " + std::strerror(errno);
    std::string folder = folder_of(replaced_file(path));
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return "cannot write in " + folder + ": " + std::strerror(errno);
    return "";
}

std::string save_report(const std::string &path, void (*write)(std::FILE *, const Check &), const Check &s)
{
    if (is_special(path)) {
        std::FILE *f = std::fopen(path.c_str(), "we");
        if (f == nullptr)
            return "cannot write " + path + ": " + std::strerror(errno);
        return write_to(f, path, write, s);
    }
    const std::string target = replaced_file(path);
    std::string temp = target + ".XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return "cannot create a file beside " + target + ": " + std::strerror(errno);
    // The permissions a new file gets, rather than mkostemp's 0600.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    std::FILE *f = fdopen(fd, "w");
    if (f == nullptr) {
        int e = errno;
        close(fd);
        unlink(temp.c_str());
        return "cannot write " + path + ": " + std::strerror(e);
    }
    std::string error = write_to(f, path, write, s);
    if (error.empty() && rename(temp.c_str(), target.c_str()) != 0)
        error = "cannot write " + path + ": " + std::strerror(errno);
    if (!error.empty())
        unlink(temp.c_str());
    return error;
}
