#include "rig/mount_namespace.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

bool failed(std::string& error, const std::string& what) {
  error = what + ": " + std::strerror(errno);
  return false;
}

bool writeFile(const char* path, const std::string& text) {
  const int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  return written;
}

// Becomes root of a new user namespace, the caller's own ids mapped to 0.
bool enterUserNamespace(std::string& error) {
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
    return failed(error, "cannot make a private mount namespace (needs root or unprivileged user namespaces)");
  if (!writeFile("/proc/self/setgroups", "deny") || !writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
      !writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n"))
    return failed(error, "cannot map the user into its user namespace");
  return true;
}

}  // namespace

bool enterPrivateMountNamespace(std::string& error) {
  if (unshare(CLONE_NEWNS) != 0) {
    if (errno != EPERM || !enterUserNamespace(error)) {
      if (error.empty()) failed(error, "cannot make a private mount namespace");
      return false;
    }
  }
  // Nothing mounted from here on may travel back to the host's namespace.
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return failed(error, "cannot make the mount namespace private");
  return true;
}

bool mountPrivateShm(std::string& error) {
  if (mount("signglove-rig", "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") != 0)
    return failed(error, "cannot mount a private /dev/shm");
  return true;
}

bool bindOver(const std::string& source, const std::string& target, std::string& error) {
  struct stat status {};
  if (stat(target.c_str(), &status) != 0) return failed(error, "cannot bind over " + target);
  if (mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0)
    return failed(error, "cannot bind " + source + " over " + target);
  return true;
}
