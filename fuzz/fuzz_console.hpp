#pragma once

// The fuzz targets run the product code many times in one process, so a failure must not end
// the process: the fuzz console throws this instead, after formatting the line as usual.
struct run_ended {
  int status = 1;
};
