#include "test_util.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

std::string make_temp_dir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zivavod-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a temporary folder");
  }
  return pattern;
}

void remove_tree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void write_file(const std::string& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string shell_output(const std::string& command) {
  std::string text;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    std::array<char, 4096> chunk{};
    for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;) {
      text.append(chunk.data(), n);
    }
    (void)pclose(pipe);
  }
  return text;
}

namespace {

constexpr int k_sanitizer_status = 86;

void set_limit(int resource, std::int64_t bytes) {
  if (bytes >= 0) {
    const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    if (setrlimit(resource, &limit) != 0) {
      _exit(126);
    }
  }
}

// What a child needs between fork and exec, all made before the fork.
struct child_plan {
  const char* dir;
  const char* program;
  char* const* args;
  char* const* env;
  int out_fd;
  int err_fd;  // the same as out_fd for a merged run
  std::int64_t address_space_bytes;
};

// Between fork and exec only async-signal-safe calls, so the environment is prepared before.
[[noreturn]] void start_child(const child_plan& plan) {
  if (chdir(plan.dir) != 0) {
    _exit(127);
  }
  const int null_fd = open("/dev/null", O_RDONLY);
  if (null_fd < 0 || dup2(null_fd, 0) < 0 || dup2(plan.out_fd, 1) < 0 || dup2(plan.err_fd, 2) < 0) {
    _exit(127);
  }
  set_limit(RLIMIT_AS, plan.address_space_bytes);
  execve(plan.program, plan.args, plan.env);
  _exit(127);
}

std::vector<std::string> child_environment(const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  for (char** p = environ; *p != nullptr; ++p) {
    env.emplace_back(*p);
  }
  for (const std::string& entry : extra) {
    const std::string key = entry.substr(0, entry.find('=') + 1);
    std::erase_if(env, [&](const std::string& e) { return e.starts_with(key); });
    env.push_back(entry);
  }
  return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> result;
  result.reserve(strings.size() + 1);
  for (std::string& s : strings) {
    result.push_back(s.data());
  }
  result.push_back(nullptr);
  return result;
}

// Reads both pipes into result until they close, the deadline passes or one says too much.
void collect_output(int out_fd, int err_fd, std::chrono::steady_clock::time_point deadline,
                    std::size_t output_cap, run_result& result) {
  std::array<pollfd, 2> fds{pollfd{out_fd, POLLIN, 0}, pollfd{err_fd, POLLIN, 0}};
  std::array<std::string*, 2> sinks{&result.out, &result.err};
  int open_streams = 2;
  while (open_streams > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.killed = true;
      break;
    }
    if (poll(fds.data(), fds.size(), static_cast<int>(left.count())) < 0) {
      continue;
    }
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) {
        continue;
      }
      std::array<char, 8192> chunk{};
      const ssize_t n = read(fds[i].fd, chunk.data(), chunk.size());
      if (n <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_streams;
        continue;
      }
      sinks[i]->append(chunk.data(), static_cast<std::size_t>(n));
      if (sinks[i]->size() > output_cap) {
        result.killed = true;
        open_streams = 0;
      }
    }
  }
  for (const pollfd& fd : fds) {
    if (fd.fd >= 0) {
      close(fd.fd);
    }
  }
}

// Waits for the child's end; both streams may be closed while the program still runs, so the
// deadline holds for its end too. Kills it when the run was cut off.
void wait_for_child(pid_t pid, std::chrono::steady_clock::time_point deadline, run_result& result) {
  int status = 0;
  while (!result.killed) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) {
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      result.killed = true;
    } else {
      usleep(2000);
    }
  }
  if (result.killed) {
    kill(pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

run_result run_program(const std::string& dir, const std::string& program,
                       const std::vector<std::string>& argv, const run_limits& limits) {
  std::vector<std::string> arg_strings = argv;
  std::vector<std::string> extra = limits.environment;
  if (sanitized_build()) {
    // A sanitizer report ends the program with status 1 by default, the very status most of
    // these runs expect; a status of its own keeps a report from passing for a failure line.
    for (const std::string name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
      const char* const options = std::getenv(name.c_str());
      extra.push_back(name + "=" + (options != nullptr ? std::string(options) + ":" : "") +
                      "exitcode=" + std::to_string(k_sanitizer_status));
    }
  }
  std::vector<std::string> env_strings = child_environment(extra);
  const std::vector<char*> args = pointers(arg_strings);
  const std::vector<char*> env = pointers(env_strings);
  int out_pipe[2];
  int err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  const pid_t pid = fork();
  if (pid < 0) {
    throw std::runtime_error("fork failed");
  }
  if (pid == 0) {
    start_child({dir.c_str(), program.c_str(), args.data(), env.data(), out_pipe[1],
                 limits.merged ? out_pipe[1] : err_pipe[1], limits.address_space_bytes});
  }
  close(out_pipe[1]);
  close(err_pipe[1]);

  run_result result;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(limits.timeout_seconds);
  collect_output(out_pipe[0], err_pipe[0], deadline, limits.output_cap, result);
  wait_for_child(pid, deadline, result);
  return result;
}

bool sanitized_build() {
#ifdef ZIVAVOD_SANITIZED
  return true;
#else
  return false;
#endif
}

std::vector<std::string> list_dir(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}
