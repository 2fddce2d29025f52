#pragma once

// All console output goes through these, one whole line per call. A line that cannot be written
// (a full disk, a closed pipe) makes the run a failure: see finish_output.

// Prints one line to standard output.
[[gnu::format(printf, 1, 2)]] void say(const char* fmt, ...);

// Prints one line to standard output and ends the process with status 1.
[[noreturn, gnu::format(printf, 1, 2)]] void fail(const char* fmt, ...);

// Flushes standard output, prints one line to standard error and ends the process with status 1.
[[noreturn, gnu::format(printf, 1, 2)]] void fail_err(const char* fmt, ...);

// Flushes standard output and returns status, or 1 when any line of the run could not be written;
// then says so on standard error, where that still works.
int finish_output(int status);
