#include "DisplayProbe.h"

#include <QLibraryInfo>

#include <dirent.h>
#include <dlfcn.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <future>
#include <string_view>
#include <system_error>
#include <thread>

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// A display that accepts the connection and never answers (a frozen server, a
// dead forwarded display) counts as none after this long: a run started by a
// server must never hang on it.
constexpr std::chrono::seconds kTimeLimit{3};

// A full connection through the library Qt's X platform uses itself, so the
// server's refusals (authorisation, too many clients) count as well. Loaded at
// run time: the program needs it only when X is asked for. The programs ignore
// SIGPIPE, so a server that drops the connection while the set-up is written
// makes this false instead of ending the process.
// xcb_connect blocks without limit (on the connect, the set-up reply, a host
// name's lookup) and nothing in its interface bounds it; handing it a socket
// of our own would mean looking up the Xauthority cookie outside xcb. So it
// runs on a thread of its own, left behind when the limit passes; should it
// ever return, it disconnects by itself.
bool XReachable(const std::string& display) {
  if (display.empty()) return false;
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  static void* lib = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
  if (!lib) return false;  // then Qt's X platform cannot load either
  auto connect = reinterpret_cast<Connect>(dlsym(lib, "xcb_connect"));
  auto hasError = reinterpret_cast<HasError>(dlsym(lib, "xcb_connection_has_error"));
  auto disconnect = reinterpret_cast<Disconnect>(dlsym(lib, "xcb_disconnect"));
  if (!connect || !hasError || !disconnect) return false;
  std::promise<bool> answer;
  std::future<bool> reachable = answer.get_future();
  try {
    std::thread([=, answer = std::move(answer)]() mutable {
      void* c = connect(display.c_str(), nullptr);
      const bool ok = c && hasError(c) == 0;
      if (c) disconnect(c);
      answer.set_value(ok);
    }).detach();
  } catch (const std::system_error&) {
    return false;
  }
  return reachable.wait_for(kTimeLimit) == std::future_status::ready && reachable.get();
}

bool WaylandReachable() {
  if (!Env("WAYLAND_SOCKET").empty()) return true;  // a connection handed down
  std::string name = Env("WAYLAND_DISPLAY");
  if (name.empty()) name = "wayland-0";  // the client library's default
  if (name[0] != '/') {
    std::string runtime = Env("XDG_RUNTIME_DIR");
    if (runtime.empty()) return false;
    name = runtime + "/" + name;
  }
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (name.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, name.c_str(), name.size() + 1);
  // A server whose backlog is full accepts nobody: tried again until the limit.
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
  auto timeLeft = [&] {
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(
                   deadline - std::chrono::steady_clock::now())
                   .count());
  };
  bool ok = false;
  for (;;) {
    ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (ok || (errno != EAGAIN && errno != EINTR) || timeLeft() <= 0) break;
    poll(nullptr, 0, 50);
  }
  // A compositor that took the connection into its backlog may still be
  // frozen: it must answer a wl_display.sync (object 1, request 0, 12 bytes,
  // new callback 2) before the limit.
  if (ok) {
    const uint32_t sync[3] = {1, 12u << 16, 2};
    ok = send(fd, sync, sizeof sync, MSG_NOSIGNAL) == ssize_t(sizeof sync);
    pollfd p{fd, POLLIN, 0};
    int ready = 0;
    while (ok && (ready = poll(&p, 1, std::max(timeLeft(), 0))) < 0 && errno == EINTR) {
    }
    char reply;
    ok = ok && ready == 1 && recv(fd, &reply, 1, MSG_DONTWAIT) == 1;
  }
  close(fd);
  return ok;
}

bool WaylandPluginInstalled() {
  std::string dir = QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString() + "/platforms";
  DIR* d = opendir(dir.c_str());
  if (!d) return false;
  bool found = false;
  while (dirent* e = readdir(d))
    if (std::string_view(e->d_name).starts_with("libqwayland")) found = true;
  closedir(d);
  return found;
}

TDisplayCheck Unreachable(const char* variable) {
  return {TDisplayState::Unreachable, std::string(variable) + "=" + Env(variable)};
}

}  // namespace

TDisplayCheck CheckDisplay() {
  const std::string x = Env("DISPLAY");
  const std::string wayland = Env("WAYLAND_DISPLAY");
  const std::string platforms = Env("QT_QPA_PLATFORM");
  if (!platforms.empty()) {
    TDisplayCheck failed;
    size_t start = 0;
    while (start <= platforms.size()) {
      size_t end = platforms.find(';', start);
      if (end == std::string::npos) end = platforms.size();
      std::string name = platforms.substr(start, end - start);
      name = name.substr(0, name.find(':'));  // options follow a ":"
      start = end + 1;
      if (name.empty()) continue;
      if (name == "xcb") {
        if (XReachable(x)) return {TDisplayState::Available, ""};
        if (!x.empty()) failed = Unreachable("DISPLAY");
      } else if (name.starts_with("wayland")) {
        if (WaylandReachable()) return {TDisplayState::Available, ""};
        if (!wayland.empty()) failed = Unreachable("WAYLAND_DISPLAY");
      } else {
        return {TDisplayState::Available, ""};
      }
    }
    return failed;
  }
  if (x.empty() && wayland.empty()) return {};
  if (XReachable(x)) return {TDisplayState::Available, ""};
  if (WaylandReachable() && WaylandPluginInstalled()) {
    setenv("QT_QPA_PLATFORM", "wayland", 1);
    return {TDisplayState::Available, ""};
  }
  return Unreachable(x.empty() ? "WAYLAND_DISPLAY" : "DISPLAY");
}
