#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "run_control/platform.hpp"

using bytes = std::vector<std::uint8_t>;

// A readable stream holding exactly text (zero bytes included), positioned at its start.
unique_file text_stream(std::string_view text);

// A fresh folder under the system's temporary folder; removed by the caller's fixture.
std::string make_temp_dir();
void remove_tree(const std::string& path);

std::string read_file(const std::string& path);
void write_file(const std::string& path, std::string_view content);
bool file_exists(const std::string& path);

// Output and status of one run of a program.
struct run_result {
  std::string out;
  std::string err;
  int status = -1;
};

// Runs program with the argument vector argv (argv[0] included; an empty argv starts it with none)
// in dir and collects its output. With merged, standard error goes to the same pipe as standard
// output, as with 2>&1, and err stays empty.
run_result run_program(const std::string& dir, const std::string& program,
                       const std::vector<std::string>& argv, bool merged = false);

// Runs a shell command and returns its standard output.
std::string shell_output(const std::string& command);

// Points stdout at stderr, so death-test matchers (which see stderr only) see the printed lines.
void stdout_to_stderr();
