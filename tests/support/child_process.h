// Runs code in a forked child, for paths that end the process (fatal errors,
// I/O failures). The child's stderr is captured.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

namespace testsupport {

struct ChildResult {
  bool exited = false;  // ended by exit, not by a signal
  int exitCode = -1;
  int signal = 0;
  std::string errorOutput;
};

// Runs body in a child process; a body that returns ends the child with
// code 99, so a path that should never return is caught.
inline ChildResult runInChild(const std::function<void()>& body) {
  int pipeEnds[2];
  ChildResult result;
  if (pipe(pipeEnds) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipeEnds[0]);
    dup2(pipeEnds[1], 2);
    body();
    _exit(99);
  }
  close(pipeEnds[1]);
  char buffer[512];
  ssize_t got;
  while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0) result.errorOutput.append(buffer, static_cast<std::size_t>(got));
  close(pipeEnds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exited = WIFEXITED(status);
  result.exitCode = result.exited ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return result;
}

}  // namespace testsupport
