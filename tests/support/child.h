#pragma once

#include <sys/wait.h>
#include <unistd.h>

namespace lumo::test {

// Runs `body` in a forked child and yields its exit status (128 + signal when it was killed).
template <typename Fn>
int InChild(Fn body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace lumo::test
