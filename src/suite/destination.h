// Where a report file goes, settled before the check runs, and how a whole
// report gets there.
//
// A standard stream or other open descriptor named as a file (/dev/stdout,
// /dev/fd/N) is written through, at the stream's own offset, so that a
// stream that appends is appended to; so is anything else that is not a
// regular file, such as a FIFO or a device.  A regular file, or one that does
// not exist yet, is written beside its target, links followed (a dangling
// link's target included), and renamed into place, so that it holds either a
// whole report or what it held before.
#ifndef SUITE_DESTINATION_H
#define SUITE_DESTINATION_H

#include <sys/types.h>

#include <cstdio>
#include <string>

struct Check;

struct Destination {
    std::string path;    // as given
    int stream = -1;     // the open descriptor it names, written through
    bool through = false; // not a regular file: written as it is
    std::string target;  // otherwise the regular file replaced, links followed
    // What tells two destinations apart: the file's device and inode where
    // it exists, else the absolute path it would get.
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    std::string would_be;
};

// Settles where path leads and checks, as far as can be before the run, that
// a report can be written there.  Returns an error message, empty on success.
std::string settle(const std::string &path, Destination &d);

bool same_file(const Destination &a, const Destination &b);

// Writes the report; an error message, empty on success.
std::string save_report(const Destination &d, void (*write)(std::FILE *, const Check &), const Check &s);

#endif
