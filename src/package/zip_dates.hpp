#pragma once

// The date and time the entries of a package carry.

#include <ctime>

// The moment SOURCE_DATE_EPOCH names, in UTC, when it holds seconds since 1970 as decimal digits
// alone, so that builds that must come out the same byte for byte can ask for it; else the local
// time now. Either way clamped to what a zip entry can hold.
std::tm package_entry_date();

// local, or the nearest date a zip entry can hold (1980-01-01 00:00:00 to 2107-12-31 23:59:58)
// when its year lies outside 1980 to 2107.
std::tm clamp_to_zip_dates(std::tm local);
