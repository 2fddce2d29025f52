#pragma once

#include "run_control/config.hpp"

// Runs the whole tool for one command line; returns the exit status or ends the process itself.
int run(int argc, char** argv);

// Reads each word list file named in slots 3 to 10 into the word store, printing its word count.
// Ends the run on a file that cannot be opened or read, that starts with a UTF-16 byte order mark,
// or that holds more than 256000 bytes.
void read_word_lists(const config_slots& slots);
