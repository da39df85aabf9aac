// The signals that stop a check.  suite takes every signal that would end
// it (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGALRM, ..., and SIGPIPE
// when standard output's reader has gone) through a file descriptor, so
// that a stop is one more event to wait for, ends what it started, and then
// ends by the same signal.  The terminal's stops come the same way, and
// pause the check: what it started stops with suite and goes on with it.
#ifndef SUITE_SIGNALS_H
#define SUITE_SIGNALS_H

// Sets up what suite relies on, whatever it inherited: SIGCHLD at its
// default (ignored, the kernel would reap the programs before suite sees
// them end), and the stop signals blocked and readable from the returned
// descriptor; a write to a closed pipe fails with EPIPE and leaves its
// SIGPIPE there.  A stop signal that was ignored on entry, as nohup and
// background jobs arrange, stays ignored.  Returns -1 with errno set on
// failure.
int catch_stop_signals();

// Standard output when it is a pipe whose reader may go away, -1 otherwise:
// a descriptor to poll with no events, whose POLLERR says the reader has
// gone before anything more is written.
int output_to_watch();

// Whether the reader of the watched output has gone, by the revents of its
// poll; if so, raises the SIGPIPE that stops the check.
bool reader_gone(short revents);

// Whether standard output is a pipe whose reader has gone.
bool output_gone();

// The signal that became readable from fd.
int caught_signal(int fd);

// Whether sig is one of the terminal's stops (SIGTSTP, SIGTTIN, SIGTTOU),
// which pause the check rather than end it.
bool is_pause(int sig);

// Stops the process by sig, as if suite had never caught it, until it is
// continued.
void stop_by(int sig);

// Ends the process by sig, as if suite had never caught it.
[[noreturn]] void die_by(int sig);

#endif
