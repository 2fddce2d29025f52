#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

using bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder; removed by the caller's fixture.
std::string make_temp_dir();
void remove_tree(const std::string& path);

std::string read_file(const std::string& path);
void write_file(const std::string& path, std::string_view content);

// How one run of a program is fenced in.
struct run_limits {
  std::int64_t address_space_bytes = -1;  // RLIMIT_AS; -1 leaves it alone
  std::vector<std::string> environment;   // extra NAME=value entries
  int timeout_seconds = 60;               // the run is killed after this
  std::size_t output_cap = 1 << 20;       // bytes kept from each stream; more kills the run
  bool merged = false;  // standard error into standard output's pipe, as with 2>&1
};

// Output and status of one run of a program.
struct run_result {
  std::string out;
  std::string err;
  int status = -1;      // exit status, or 128 + signal number
  bool killed = false;  // killed at the deadline or for too much output
};

// Runs program with the argument vector argv (argv[0] included; an empty argv starts it with
// none) in dir, standard input from /dev/null, within limits.
run_result run_program(const std::string& dir, const std::string& program,
                       const std::vector<std::string>& argv, const run_limits& limits = {});

// True when this build runs under AddressSanitizer: no preloading, no address-space limit.
bool sanitized_build();

// Names of the entries directly in dir, sorted, without "." and "..".
std::vector<std::string> list_dir(const std::string& dir);

// Runs a shell command and returns its standard output.
std::string shell_output(const std::string& command);
