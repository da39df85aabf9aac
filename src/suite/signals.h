// The signals that stop a check.  suite takes SIGINT, SIGTERM and SIGHUP
// through a file descriptor, so that a stop is one more event to wait for,
// ends what it started, and then ends by the same signal.
#ifndef SUITE_SIGNALS_H
#define SUITE_SIGNALS_H

// Sets up what suite relies on, whatever it inherited: SIGCHLD at its
// default (ignored, the kernel would reap the programs before suite sees
// them end), SIGPIPE ignored (a closed report is an error, not a death), and
// the stop signals blocked and readable from the returned descriptor.  A stop
// signal that was ignored on entry, as nohup and background jobs arrange,
// stays ignored.  Returns -1 with errno set on failure.
int catch_stop_signals();

// The signal that became readable from fd.
int caught_signal(int fd);

// Ends the process by sig, as if suite had never caught it.
[[noreturn]] void die_by(int sig);

#endif
