#include "DisplayProbe.h"

#include <QLibraryInfo>

#include <dirent.h>
#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// A full connection through the library Qt's X platform uses itself, so the
// server's refusals (authorisation, too many clients) count as well. Loaded at
// run time: the program needs it only when X is asked for. The programs ignore
// SIGPIPE, so a server that drops the connection while the set-up is written
// makes this false instead of ending the process.
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
  void* c = connect(display.c_str(), nullptr);
  if (!c) return false;
  bool ok = hasError(c) == 0;
  disconnect(c);
  return ok;
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
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
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
