#pragma once

// zivavod-inspect's reports on standard output: plain lines, or one JSON document.

#include "inspect/diff.hpp"
#include "inspect/findings.hpp"

// A package as the command line named it, and what inspect_package found in it.
struct named_package {
  const char* path = nullptr;
  const inspection* facts = nullptr;
};

// The two packages of a comparison and its outcome: the diff, or null when one of them has
// problems and nothing was compared.
struct comparison {
  named_package old_package;
  named_package new_package;
  const package_diff* diff = nullptr;
  int status = 0;
};

// What the package holds, as far as it was read, its words when asked, then OK or the problems.
void print_report(named_package p, bool words);

// The comparison as lines: the packages, the lexicon name, the firmware, the words added,
// removed and changed (only their counts when summary), the counts and the lexicon space; when
// nothing was compared, the problems of each package that has some.
void print_diff(const comparison& c, bool summary);

// The same as one JSON document (nlohmann-json), with the facts of the packages.
void print_json_report(named_package p, int status, bool words);
void print_json_diff(const comparison& c, bool summary);
