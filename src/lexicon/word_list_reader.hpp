#pragma once

#include <cstdint>
#include <cstdio>

#include "lexicon/word_store.hpp"

// What reading one word list file gave.
struct word_list_result {
  std::int32_t words = 0;       // records stored from this file
  std::int64_t bytes_read = 0;  // never more than the byte limit plus one
  bool read_failed = false;     // the stream reported an error before its end
  bool utf16 = false;           // the text starts with a UTF-16 byte order mark: nothing stored
};

// Reads stream to its end, or until one byte past byte_limit, and appends a record per 4- and
// 6-letter token to store. A UTF-8 byte order mark at the start is skipped (its bytes
// still count against the limit). Lines end at LF, CR LF or a lone CR; a line starting "//" is a
// comment; tokens split at space, comma and full stop. Prints nothing, never ends the run.
word_list_result read_word_list(std::FILE* stream, word_store& store,
                                std::int64_t byte_limit = k_word_list_byte_limit);
