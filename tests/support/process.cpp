#include "tests/support/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace orx::test {

std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : "";
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + name;
    struct stat st;
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
    start = end + 1;
  }
  return "";
}

std::string RequireProgram(const std::string& name) {
  std::string path = FindProgram(name);
  if (path.empty()) {
    ADD_FAILURE() << "this test needs the program '" << name
                  << "', which is not installed (see packages.txt)";
  }
  return path;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
  ProcessResult result;
  if (argv.empty()) return result;
  std::string program = FindProgram(argv[0]);
  if (program.empty()) {
    result.err = "program not found: " + argv[0];
    return result;
  }

  int inPipe[2], outPipe[2], errPipe[2];
  if (::pipe2(inPipe, O_CLOEXEC) != 0) return result;
  if (::pipe2(outPipe, O_CLOEXEC) != 0) return result;
  if (::pipe2(errPipe, O_CLOEXEC) != 0) return result;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  if (!options.workingDir.empty())
    posix_spawn_file_actions_addchdir_np(&actions, options.workingDir.c_str());

  // The child's environment: ours, edited.
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    std::string key = entry.substr(0, entry.find('='));
    bool drop = options.setEnv.count(key) > 0;
    for (const auto& u : options.unsetEnv) drop = drop || u == key;
    if (!drop) env.push_back(entry);
  }
  for (const auto& [k, v] : options.setEnv) env.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  std::vector<std::string> args = argv;
  std::vector<char*> cargs;
  for (auto& a : args) cargs.push_back(a.data());
  cargs.push_back(nullptr);

  pid_t pid = 0;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, cargs.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(inPipe[0]);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  if (rc != 0) {
    ::close(inPipe[1]);
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    result.err = std::string("spawn failed: ") + std::strerror(rc);
    return result;
  }
  result.started = true;

  // Feed standard input and drain both outputs together, so no pipe fills up and blocks.
  size_t inputOffset = 0;
  int inFd = inPipe[1];
  if (options.input.empty()) {
    ::close(inFd);
    inFd = -1;
  } else {
    ::fcntl(inFd, F_SETFL, O_NONBLOCK);
  }
  int outFd = outPipe[0], errFd = errPipe[0];
  char buffer[65536];
  signal(SIGPIPE, SIG_IGN);
  while (outFd >= 0 || errFd >= 0 || inFd >= 0) {
    pollfd fds[3];
    int n = 0;
    int outIdx = -1, errIdx = -1, inIdx = -1;
    if (outFd >= 0) { outIdx = n; fds[n++] = {outFd, POLLIN, 0}; }
    if (errFd >= 0) { errIdx = n; fds[n++] = {errFd, POLLIN, 0}; }
    if (inFd >= 0) { inIdx = n; fds[n++] = {inFd, POLLOUT, 0}; }
    if (::poll(fds, n, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    auto drain = [&](int idx, int& fd, std::string& sink) {
      if (idx < 0 || !(fds[idx].revents & (POLLIN | POLLHUP | POLLERR))) return;
      ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got > 0) sink.append(buffer, static_cast<size_t>(got));
      else if (got == 0 || errno != EINTR) { ::close(fd); fd = -1; }
    };
    drain(outIdx, outFd, result.out);
    drain(errIdx, errFd, result.err);
    if (inIdx >= 0 && (fds[inIdx].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t put = ::write(inFd, options.input.data() + inputOffset, options.input.size() - inputOffset);
      if (put > 0) inputOffset += static_cast<size_t>(put);
      if (put < 0 && errno != EAGAIN && errno != EINTR) inputOffset = options.input.size();
      if (inputOffset >= options.input.size()) { ::close(inFd); inFd = -1; }
    }
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  else if (WIFSIGNALED(status)) result.exitCode = 128 + WTERMSIG(status);
  return result;
}

}  // namespace orx::test
