#include "Process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "SafeFile.h"

extern char** environ;

std::vector<std::string> SplitCommandLine(std::string_view s) {
  std::vector<std::string> words;
  size_t i = 0;
  while (true) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i >= s.size()) break;
    std::string word;
    bool inQuotes = false;
    while (i < s.size()) {
      char c = s[i];
      if (!inQuotes && (c == ' ' || c == '\t')) break;
      if (c == '\\') {
        size_t n = 0;
        while (i < s.size() && s[i] == '\\') ++n, ++i;
        if (i < s.size() && s[i] == '"') {
          word.append(n / 2, '\\');
          if (n % 2 == 1) {
            word += '"';
            ++i;
          }
        } else {
          word.append(n, '\\');
        }
        continue;
      }
      if (c == '"') {
        if (inQuotes && i + 1 < s.size() && s[i + 1] == '"') {
          word += '"';
          i += 2;
          continue;
        }
        inQuotes = !inQuotes;
        ++i;
        continue;
      }
      word += c;
      ++i;
    }
    words.push_back(std::move(word));
  }
  return words;
}

std::string FindProgram(std::string_view name) {
  if (name.empty()) return {};
  auto runnable = [](const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(p.c_str(), X_OK) == 0;
  };
  if (name.find('/') != std::string_view::npos) {
    std::string p(name);
    return runnable(p) ? p : std::string();
  }
  const char* path = std::getenv("PATH");
  std::string_view rest = path ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    size_t colon = rest.find(':');
    std::string dir(rest.substr(0, colon));
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + std::string(name);
    if (runnable(candidate)) return candidate;
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return {};
}

namespace {

// Output: the write end of a pipe for the program's stdout, or -1.
bool Start(const std::string& program, const std::vector<std::string>& args,
           const SpawnOptions& options, pid_t& pid, int output = -1) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  if (output >= 0) posix_spawn_file_actions_adddup2(&fa, output, 1);
  if (!options.workDir.empty()) posix_spawn_file_actions_addchdir_np(&fa, options.workDir.c_str());
  // The GUI programs ignore SIGPIPE for their display connection; an ignored
  // signal would be passed on, and the programs they start expect the default.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);

  std::vector<std::string> argStore{program};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> envStore;
  for (char** e = environ; *e; ++e) envStore.emplace_back(*e);
  envStore.insert(envStore.end(), options.extraEnv.begin(), options.extraEnv.end());
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  int rc = posix_spawn(&pid, program.c_str(), &fa, &attr, argv.data(), envp.data());
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&fa);
  return rc == 0;
}

// What the program writes to the pipe, until it closes it or ends: whatever it
// started may hold the pipe open long after.
std::string ReadOutput(int fd, pid_t pid) {
  std::string text;
  char buffer[4096];
  const int ended = int(syscall(SYS_pidfd_open, pid, 0));
  pollfd fds[2] = {{fd, POLLIN, 0}, {ended, POLLIN, 0}};
  bool drain = false;
  while (true) {
    if (!drain && ended >= 0) {
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (fds[1].revents != 0 && fds[0].revents == 0) {
        // Ended: what it wrote is in the pipe already.
        drain = true;
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
      }
    }
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, size_t(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  if (ended >= 0) close(ended);
  return text;
}

int Wait(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

bool SpawnAndWait(const std::string& program, const std::vector<std::string>& args, int& exitCode,
                  const SpawnOptions& options) {
  // The program may look at files whose saves are still pending.
  CompletePendingReplacements();
  pid_t pid;
  exitCode = -1;
  if (!options.output) {
    if (!Start(program, args, options, pid)) return false;
    exitCode = Wait(pid);
    return true;
  }
  options.output->clear();
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
  const bool started = Start(program, args, options, pid, pipeFds[1]);
  close(pipeFds[1]);
  if (started) *options.output = ReadOutput(pipeFds[0], pid);
  close(pipeFds[0]);
  if (!started) return false;
  exitCode = Wait(pid);
  return true;
}

bool SpawnDetached(const std::string& program, const std::vector<std::string>& args,
                   const SpawnOptions& options) {
  // An intermediate child starts the program and exits at once, so the program
  // is re-parented to init and never lingers as our zombie.
  if (FindProgram(program).empty()) return false;
  CompletePendingReplacements();
  pid_t mid = fork();
  if (mid < 0) return false;
  if (mid == 0) {
    setsid();
    pid_t pid;
    _exit(Start(program, args, options, pid) ? 0 : 1);
  }
  return Wait(mid) == 0;
}

int ClampExitCode(long long code) { return (code >= 0 && code <= 255) ? int(code) : 255; }
