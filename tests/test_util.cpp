#include "test_util.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

unique_file text_stream(std::string_view text) {
  unique_file file{std::tmpfile()};
  if (!file || std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) {
    throw std::runtime_error("cannot make a temporary stream");
  }
  std::rewind(file.get());
  return file;
}

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

bool file_exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

namespace {

std::string drain(int fd) {
  std::string text;
  std::array<char, 4096> chunk{};
  for (ssize_t n; (n = read(fd, chunk.data(), chunk.size())) > 0;) {
    text.append(chunk.data(), static_cast<std::size_t>(n));
  }
  close(fd);
  return text;
}

}  // namespace

run_result run_program(const std::string& dir, const std::string& program,
                       const std::vector<std::string>& argv, bool merged) {
  // Standard error goes to a file so that neither pipe can fill while the other is read.
  const std::string err_path = dir + "/.stderr";
  int out_pipe[2];
  if (pipe(out_pipe) != 0) {
    throw std::runtime_error("pipe failed");
  }
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) {
      _exit(127);
    }
    dup2(out_pipe[1], 1);
    if (merged) {
      dup2(out_pipe[1], 2);
    } else {
      const int err_fd = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(err_fd, 2);
    }
    close(out_pipe[0]);
    std::vector<char*> args;
    for (const std::string& arg : argv) {
      args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    execv(program.c_str(), args.data());
    _exit(127);
  }
  close(out_pipe[1]);
  run_result result;
  result.out = drain(out_pipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (!merged) {
    result.err = read_file(err_path);
    std::filesystem::remove(err_path);
  }
  return result;
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

void stdout_to_stderr() {
  (void)std::fflush(stdout);
  dup2(2, 1);
}
