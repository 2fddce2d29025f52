#pragma once

// zivavod-inspect --diff: what a newer package changes against an older one, both read and
// found sound by inspect_package.

#include <cstddef>
#include <utility>
#include <vector>

#include "inspect/findings.hpp"

// Where two runs of bytes differ: how many bytes (a byte past the shorter run counts), and the
// offset of the first.
struct byte_difference {
  std::size_t count = 0;
  std::size_t first = 0;
};

// One table's words compared as multisets (a word twice before and once after is one removal),
// each word by its position in its table. A word whose letters stay and whose dirty mark changes
// is changed, not added and removed.
struct table_diff {
  std::vector<std::size_t> added;                            // in the new table, in its order
  std::vector<std::size_t> removed;                          // in the old table, in its order
  std::vector<std::pair<std::size_t, std::size_t>> changed;  // old and new position, new order
  bool reordered = false;  // nothing added, removed or changed, yet the tables differ
};

struct package_diff {
  bool same_name = false;
  byte_difference firmware;  // over the firmware head, the bytes before the lexicon
  table_diff six;
  table_diff four;
  byte_difference image;  // over the whole images
};

// Compares the packages old_package and new_package, whose images and tables must be there.
package_diff compare_packages(const inspection& old_package, const inspection& new_package);

// True when the images differ in a way none of d's other parts shows (behind the lexicon header
// or in the fill), as a package zivavod writes never does.
bool differs_elsewhere(const package_diff& d);
