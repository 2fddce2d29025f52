// Runs programs many times, each in its own folder with its output thrown away, taking turns so
// that a slow spell of a shared machine hits all of them alike. For each it prints the wall time
// of a run (fork to exit) as median, quartiles, minimum and maximum, the median of the runs' peak
// resident memory (ru_maxrss from wait4) and the median CPU time (user and system), which waiting
// for a busy core does not inflate. Warm-up runs come first and are not counted, so the files are
// in the page cache and the programs' pages are resident.
//
//   run_timed WARMUP RUNS DIR PROGRAM [ARG...] [-- DIR PROGRAM [ARG...]]...
//
// One line a program: median_ms q1_ms q3_ms min_ms max_ms rss_kib cpu_ms
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct program {
  const char* dir = nullptr;
  std::vector<char*> argv;  // ends with a null pointer
  std::vector<double> ms;
  std::vector<double> rss_kib;
  std::vector<double> cpu_ms;
};

double to_ms(const timeval& t) {
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
}

double now_ms() {
  timespec t{};
  (void)clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

void run_once(program& p, bool keep) {
  const double start = now_ms();
  const pid_t child = fork();
  if (child == 0) {
    const int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd < 0 || dup2(null_fd, 1) < 0 || chdir(p.dir) != 0) {
      _exit(127);
    }
    execv(p.argv[0], p.argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) {
    std::perror("run_timed");
    std::exit(1);
  }
  const double end = now_ms();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    (void)std::fprintf(stderr, "run_timed: %s failed in %s\n", p.argv[0], p.dir);
    std::exit(1);
  }
  if (keep) {
    p.ms.push_back(end - start);
    p.rss_kib.push_back(static_cast<double>(usage.ru_maxrss));
    p.cpu_ms.push_back(to_ms(usage.ru_utime) + to_ms(usage.ru_stime));
  }
}

// The value at fraction q of the sorted values, interpolated between neighbours.
double quantile(std::vector<double> values, double q) {
  std::sort(values.begin(), values.end());
  const double at = q * static_cast<double>(values.size() - 1);
  const auto low = static_cast<std::size_t>(at);
  const std::size_t high = std::min(low + 1, values.size() - 1);
  return values[low] + (values[high] - values[low]) * (at - static_cast<double>(low));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    (void)std::fprintf(stderr,
                       "usage: run_timed WARMUP RUNS DIR PROGRAM [ARG...] [-- DIR PROGRAM ...]\n");
    return 1;
  }
  const int warmup = std::atoi(argv[1]);
  const int runs = std::atoi(argv[2]);
  std::vector<program> programs(1);
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) {
      programs.emplace_back();
    } else if (programs.back().dir == nullptr) {
      programs.back().dir = argv[i];
    } else {
      programs.back().argv.push_back(argv[i]);
    }
  }
  for (program& p : programs) {
    if (p.argv.empty() || runs < 1) {
      (void)std::fprintf(stderr, "run_timed: each program needs a folder and a path\n");
      return 1;
    }
    p.argv.push_back(nullptr);
  }
  for (int i = 0; i < warmup + runs; ++i) {
    for (program& p : programs) {
      run_once(p, i >= warmup);
    }
  }
  for (const program& p : programs) {
    std::printf("%.3f %.3f %.3f %.3f %.3f %.0f %.3f\n", quantile(p.ms, 0.5), quantile(p.ms, 0.25),
                quantile(p.ms, 0.75), quantile(p.ms, 0), quantile(p.ms, 1),
                quantile(p.rss_kib, 0.5), quantile(p.cpu_ms, 0.5));
  }
  return 0;
}
