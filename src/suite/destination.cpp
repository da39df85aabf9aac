#include "destination.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

std::string error(const std::string &what, int e)
{
    return what + ": " + std::strerror(e);
}

std::string folder_of(const std::string &path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The descriptor that a name for one stands for, or -1: /dev/stdout,
// /dev/stderr, /dev/fd/N and /proc/self/fd/N, where N is open.
int named_stream(const std::string &path)
{
    int fd = -1;
    if (path == "/dev/stdout")
        fd = 1;
    else if (path == "/dev/stderr")
        fd = 2;
    for (const char *prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const std::string p = prefix;
        if (path.size() > p.size() && path.compare(0, p.size(), p) == 0 &&
            path.find_first_not_of("0123456789", p.size()) == std::string::npos && path.size() - p.size() < 9)
            fd = static_cast<int>(std::strtol(path.c_str() + p.size(), nullptr, 10));
    }
    return fd >= 0 && fcntl(fd, F_GETFD) >= 0 ? fd : -1;
}

// Follows symbolic links to the file they lead to, which need not exist.
std::string follow(std::string path, int &e)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        char buf[PATH_MAX];
        ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
        if (n < 0) {
            e = errno;
            return path;
        }
        std::string to(buf, static_cast<size_t>(n));
        if (!to.starts_with('/'))
            to.insert(0, folder_of(path) + "/");
        path = to;
    }
    e = ELOOP;
    return path;
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

std::string settle(const std::string &path, Destination &d)
{
    d = Destination{};
    d.path = path;
    struct stat st {};
    if (int fd = named_stream(path); fd >= 0) {
        d.stream = fd;
        d.through = true;
        if (fstat(fd, &st) == 0) {
            d.exists = true;
            d.dev = st.st_dev;
            d.ino = st.st_ino;
        }
        return "";
    }
    int e = 0;
    d.target = follow(path, e);
    if (e != 0)
        return error("cannot follow " + path, e);
    if (stat(d.target.c_str(), &st) == 0) {
        d.exists = true;
        d.dev = st.st_dev;
        d.ino = st.st_ino;
        if (S_ISDIR(st.st_mode))
            return path + " is a folder";
        if (!S_ISREG(st.st_mode)) {
            d.through = true;
            return access(d.target.c_str(), W_OK) == 0 ? "" : error("cannot write " + path, errno);
        }
    }
    const std::string folder = folder_of(d.target);
    char *real = realpath(folder.c_str(), nullptr);
    if (real == nullptr)
        return error("cannot write in " + folder, errno);
    d.would_be = std::string(real) + "/" + name_of(d.target);
    std::free(real);
    const long most = pathconf(folder.c_str(), _PC_NAME_MAX);
    if (most > 0 && name_of(d.target).size() > static_cast<size_t>(most))
        return error("cannot write " + path, ENAMETOOLONG);
    // A file made and removed again: the folder takes new files.
    std::string temp = folder + "/.suite-XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return error("cannot write in " + folder, errno);
    close(fd);
    unlink(temp.c_str());
    return "";
}

bool same_file(const Destination &a, const Destination &b)
{
    if (a.exists && b.exists)
        return a.dev == b.dev && a.ino == b.ino;
    return !a.exists && !b.exists && a.would_be == b.would_be;
}

std::string save_report(const Destination &d, void (*write)(std::FILE *, const Check &), const Check &s)
{
    if (d.through) {
        // A copy of the descriptor shares its offset and its append mode.
        int fd = d.stream >= 0 ? fcntl(d.stream, F_DUPFD_CLOEXEC, 3)
                               : open(d.target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        std::FILE *f = fd < 0 ? nullptr : fdopen(fd, "w");
        if (f == nullptr) {
            int e = errno;
            if (fd >= 0)
                close(fd);
            return error("cannot write " + d.path, e);
        }
        return write_to(f, d.path, write, s);
    }
    // A short name beside the target, so that any name the target may have
    // leaves room for it.
    std::string temp = folder_of(d.target) + "/.suite-XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return error("cannot create a file beside " + d.target, errno);
    // The permissions a new file gets, rather than mkostemp's 0600.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    std::FILE *f = fdopen(fd, "w");
    if (f == nullptr) {
        int e = errno;
        close(fd);
        unlink(temp.c_str());
        return error("cannot write " + d.path, e);
    }
    std::string failure = write_to(f, d.path, write, s);
    if (failure.empty() && rename(temp.c_str(), d.target.c_str()) != 0)
        failure = error("cannot write " + d.path, errno);
    if (!failure.empty())
        unlink(temp.c_str());
    return failure;
}
