#include "lexicon/word_store.hpp"

word_store g_word_store;
