#include "TestSupport.h"

#include "ProgramDir.h"
#include "uCharsets.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace fs = std::filesystem;

namespace {
const char* TempBase() {
  const char* base = std::getenv("TMPDIR");
  return base && *base ? base : "/tmp";
}
}  // namespace

TempDir::TempDir() : TempDir(TempBase()) {}

TempDir::TempDir(const std::string& base) {
  std::string tmpl = base + "/tidelarn-test-XXXXXX";
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

std::string ShellQuote(const std::string& s) {
  std::string quoted = "'";
  for (char c : s) {
    if (c == '\'')
      quoted += "'\\''";  // ends the quote, a quoted ', quotes again
    else
      quoted += c;
  }
  return quoted + "'";
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env, const std::string& cwd) {
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
  posix_spawn_file_actions_addclose(&fa, outPipe[0]);
  posix_spawn_file_actions_addclose(&fa, errPipe[0]);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());

  std::vector<std::string> argStore{program};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> envStore;
  // A variable given replaces the inherited one: the first of a name is the one read.
  auto given = [&env](std::string_view entry) {
    const std::string_view name = entry.substr(0, entry.find('=') + 1);
    return std::any_of(env.begin(), env.end(), [&](const std::string& e) { return e.starts_with(name); });
  };
  for (char** e = environ; *e; ++e)
    if (!given(*e)) envStore.emplace_back(*e);
  for (const auto& e : env) envStore.push_back(e);
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid;
  int rc = posix_spawn(&pid, program.c_str(), &fa, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&fa);
  close(outPipe[1]);
  close(errPipe[1]);
  ProcessResult r;
  if (rc != 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    r.err = "spawn failed";
    return r;
  }
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  int open = 2;
  char buf[4096];
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t n = read(fds[k].fd, buf, sizeof buf);
      if (n > 0) {
        (k == 0 ? r.out : r.err).append(buf, size_t(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[k].fd);
        fds[k].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

TOwnDisplay::TOwnDisplay(bool listening) {
  for (int n = 150; n < 400 && fd_ < 0; ++n) {
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(n);
    if (fs::exists(path) || fs::exists("/tmp/.X" + std::to_string(n) + "-lock")) continue;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, path.data(), path.size());  // the abstract name
    const auto len = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + path.size());
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 &&
        (!listening || listen(fd, 8) == 0)) {
      fd_ = fd;
      name_ = ":" + std::to_string(n);
    } else {
      close(fd);
    }
  }
  if (fd_ < 0) throw std::runtime_error("no display number free for a test display");
}

TOwnDisplay::~TOwnDisplay() { close(fd_); }

bool StraceWorks() {
  static const bool works = RunProcess("/usr/bin/strace", {"-o", "/dev/null", "true"}).exitCode == 0;
  return works;
}

ProcessResult RunTraced(const std::vector<std::string>& straceOptions, const std::string& program,
                        const std::vector<std::string>& args, std::vector<std::string> env,
                        const std::string& cwd) {
  std::vector<std::string> all = {"-f", "-qq"};
  all.insert(all.end(), straceOptions.begin(), straceOptions.end());
  all.push_back(program);
  all.insert(all.end(), args.begin(), args.end());
  env.push_back("ASAN_OPTIONS=detect_leaks=0");
  return RunProcess("/usr/bin/strace", all, env, cwd);
}

std::string InstallOnlyVQ(const std::string& dir) {
  std::string target = dir + "/Only_VQ";
  fs::copy_file(ONLY_VQ_PATH, target, fs::copy_options::overwrite_existing);
  for (const char* f : {"charsets.dat", "lHeader.txt", "pgp"}) {
    fs::path src = fs::path(TIDELARN_SOURCE_DIR) / "data" / f;
    if (fs::exists(src)) fs::copy_file(src, fs::path(dir) / f, fs::copy_options::overwrite_existing);
  }
  return target;
}

void LoadCharsetTables() {
  std::string saved = ProgramDir();
  SetProgramDir(std::string(TIDELARN_SOURCE_DIR) + "/data");
  try {
    GetCSInfos();
  } catch (...) {
    SetProgramDir(saved);
    throw;
  }
  SetProgramDir(saved);
}

std::string ParamName(std::size_t index, std::string_view text) {
  std::string name = "c" + std::to_string(index);
  std::size_t kept = 0;
  bool gap = true;
  for (char c : text) {
    if (kept >= 40) break;
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (plain) {
      if (gap) name += '_';
      name += c;
      ++kept;
    }
    gap = !plain;
  }
  return name;
}
