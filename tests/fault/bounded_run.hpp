#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How one run of a program is fenced in.
struct run_limits {
  std::int64_t file_size_bytes = -1;      // RLIMIT_FSIZE, with SIGXFSZ ignored; -1 leaves it alone
  std::int64_t address_space_bytes = -1;  // RLIMIT_AS; -1 leaves it alone
  std::vector<std::string> environment;   // extra NAME=value entries
  int timeout_seconds = 60;               // the run is killed after this
  std::size_t output_cap = 1 << 20;       // bytes kept from each stream; more kills the run
};

// What one bounded run gave.
struct bounded_result {
  std::string out;
  std::string err;
  int status = -1;      // exit status, or 128 + signal number
  bool killed = false;  // killed at the deadline or for too much output
};

// Runs argv (argv[0] is the program path) in dir with standard input from /dev/null, both output
// streams on pipes of their own, and the limits applied in the child before it starts.
bounded_result run_bounded(const std::string& dir, const std::vector<std::string>& argv,
                           const run_limits& limits = {});

// The zivavod program under test: ZIVAVOD_FAULT_PROGRAM when set, else the one built here.
std::string program_path();

// True when this build runs under AddressSanitizer: no preloading, no address-space limit.
bool sanitized_build();

// Names of the entries directly in dir, sorted, without "." and "..".
std::vector<std::string> list_dir(const std::string& dir);
