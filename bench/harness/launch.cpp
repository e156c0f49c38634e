// Starts one program many times, directly (fork and exec, no shell), and prints
// the median wall time of a start-to-exit cycle and the child's peak memory.
//
//   launch [-n RUNS] [-w WARMUPS] [-t SECONDS] [-i STDIN] [-o STDOUT] [-e STDERR]
//          [-s SAMPLES] [-r SRC:DST]... [-d SRCDIR:DSTDIR]... -- PROGRAM [ARG]...
//
// -n   timed runs (default 50); -t stops earlier once that many seconds of
//      timed runs have passed (at least 3 runs are always made)
// -w   untimed runs first (default 2)
// -i/-o/-e  files for the child's standard streams (default /dev/null)
// -s   appends one line per timed run to SAMPLES: wall time and CPU time
//      (user + system) in microseconds, peak resident size in KB
// -r   before every run, SRC is copied over DST (untimed): programs that change
//      their input in place get the same input each time
// -d   the same for a folder: DSTDIR's regular files are removed and SRCDIR's
//      copied in
//
// Output, one line: runs=N median_us=.. min_us=.. p10_us=.. p90_us=.. max_us=..
// maxrss_kb=.. (the largest peak resident size of any run). A child that
// fails (exit code not 0, or a signal) ends the launcher with exit code 2.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "launch: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

[[noreturn]] void Usage() {
  std::fprintf(stderr,
               "usage: launch [-n RUNS] [-w WARMUPS] [-t SECONDS] [-i IN] [-o OUT] [-e ERR]\n"
               "              [-s SAMPLES] [-r SRC:DST]... [-d SRCDIR:DSTDIR]... -- PROGRAM [ARG]...\n");
  std::exit(1);
}

// Copied in the kernel, without buffering the data here: a forked child
// inherits the launcher's peak resident size, which must stay small.
void CopyFile(const std::string& from, const std::string& to) {
  int src = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (src < 0) Die("open " + from);
  int dst = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (dst < 0) Die("create " + to);
  for (;;) {
    ssize_t n = copy_file_range(src, nullptr, dst, nullptr, 1 << 30, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Die("copy " + from);
    if (n == 0) break;
  }
  close(src);
  if (close(dst) != 0) Die("close " + to);
}

std::vector<std::string> RegularFiles(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (!d) Die("open folder " + dir);
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    struct stat st;
    if (lstat((dir + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

struct FileRestore {
  std::string source, target;
  void Apply() const { CopyFile(source, target); }
};

struct FolderRestore {
  std::vector<std::string> names;
  std::string source, target;
  void Apply() const {
    for (const auto& name : RegularFiles(target))
      if (unlink((target + "/" + name).c_str()) != 0) Die("remove " + name);
    for (const auto& name : names) CopyFile(source + "/" + name, target + "/" + name);
  }
};

std::pair<std::string, std::string> SplitPair(const char* arg) {
  std::string s = arg;
  size_t colon = s.find(':');
  if (colon == std::string::npos) Usage();
  return {s.substr(0, colon), s.substr(colon + 1)};
}

void Redirect(const std::string& path, int target, int flags) {
  int fd = open(path.c_str(), flags, 0644);
  if (fd < 0) _exit(126);
  if (dup2(fd, target) < 0) _exit(126);
  if (fd != target) close(fd);
}

double Percentile(std::vector<double> sorted, double p) {
  if (sorted.empty()) return 0;
  double pos = p * double(sorted.size() - 1);
  size_t lo = size_t(pos);
  size_t hi = std::min(lo + 1, sorted.size() - 1);
  return sorted[lo] + (sorted[hi] - sorted[lo]) * (pos - double(lo));
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 50, warmups = 2;
  double budget = 0;
  std::string in = "/dev/null", out = "/dev/null", err = "/dev/null", samples;
  std::vector<FileRestore> fileRestores;
  std::vector<FolderRestore> folderRestores;
  int i = 1;
  for (; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--") {
      ++i;
      break;
    }
    if (i + 1 >= argc) Usage();
    const char* v = argv[++i];
    if (a == "-n") runs = std::max(1, std::atoi(v));
    else if (a == "-w") warmups = std::max(0, std::atoi(v));
    else if (a == "-t") budget = std::atof(v);
    else if (a == "-i") in = v;
    else if (a == "-o") out = v;
    else if (a == "-e") err = v;
    else if (a == "-s") samples = v;
    else if (a == "-r") {
      auto [src, dst] = SplitPair(v);
      fileRestores.push_back({src, dst});
    } else if (a == "-d") {
      auto [src, dst] = SplitPair(v);
      folderRestores.push_back({RegularFiles(src), src, dst});
    } else Usage();
  }
  if (i >= argc) Usage();
  std::vector<char*> childArgv(argv + i, argv + argc);
  childArgv.push_back(nullptr);

  FILE* sampleFile = nullptr;
  if (!samples.empty() && !(sampleFile = std::fopen(samples.c_str(), "a"))) Die("open " + samples);
  std::vector<double> times;
  long maxRss = 0;
  double spent = 0;
  for (int n = 0; n < warmups + runs; ++n) {
    bool timed = n >= warmups;
    if (timed && budget > 0 && int(times.size()) >= 3 && spent >= budget) break;
    for (const auto& r : fileRestores) r.Apply();
    for (const auto& r : folderRestores) r.Apply();

    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0) Die("fork");
    if (pid == 0) {
      Redirect(in, 0, O_RDONLY);
      Redirect(out, 1, O_WRONLY | O_CREAT | O_TRUNC);
      Redirect(err, 2, O_WRONLY | O_CREAT | O_APPEND);
      execv(childArgv[0], childArgv.data());
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0)
      if (errno != EINTR) Die("wait");
    double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      if (WIFEXITED(status))
        std::fprintf(stderr, "launch: %s ended with exit code %d\n", childArgv[0], WEXITSTATUS(status));
      else
        std::fprintf(stderr, "launch: %s ended by signal %d\n", childArgv[0], WTERMSIG(status));
      return 2;
    }
    maxRss = std::max(maxRss, long(usage.ru_maxrss));
    if (timed) {
      auto micros = [](const timeval& tv) { return double(tv.tv_sec) * 1e6 + double(tv.tv_usec); };
      if (sampleFile)
        std::fprintf(sampleFile, "%.1f %.1f %ld\n", us, micros(usage.ru_utime) + micros(usage.ru_stime),
                     long(usage.ru_maxrss));
      times.push_back(us);
      spent += us / 1e6;
    }
  }
  if (sampleFile && std::fclose(sampleFile) != 0) Die("write " + samples);
  std::sort(times.begin(), times.end());
  std::printf("runs=%zu median_us=%.1f min_us=%.1f p10_us=%.1f p90_us=%.1f max_us=%.1f maxrss_kb=%ld\n",
              times.size(), Percentile(times, 0.5), times.front(), Percentile(times, 0.1),
              Percentile(times, 0.9), times.back(), maxRss);
  return 0;
}
