#include "rig/mount_namespace.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <cstdio>
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

// Puts a tmpfs over the directory that shows what it showed before, entry by entry
// (bind mounts, and copies of symbolic links), so that entries can be added to it in
// this namespace alone. Entries that cannot be shown again are left out.
bool mirrorDirectory(const std::string& directory, std::string& error) {
  const int old = open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  DIR* listing = opendir(directory.c_str());
  struct stat status {};
  if (old < 0 || !listing || stat(directory.c_str(), &status) != 0) {
    failed(error, "cannot read " + directory);
    if (old >= 0) close(old);
    if (listing) closedir(listing);
    return false;
  }
  char octal[16];
  std::snprintf(octal, sizeof octal, "mode=%o", status.st_mode & 07777);
  if (mount("signglove-rig", directory.c_str(), "tmpfs", MS_NOSUID, octal) != 0) {
    failed(error, "cannot mount a private " + directory);
    close(old);
    closedir(listing);
    return false;
  }
  // The old directory stays reachable through the descriptor opened before the mount.
  const std::string from = "/proc/self/fd/" + std::to_string(old) + "/";
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string to = directory + "/" + name;
    struct stat item {};
    if (fstatat(dirfd(listing), name.c_str(), &item, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISLNK(item.st_mode)) {
      char link[PATH_MAX];
      const ssize_t length = readlinkat(dirfd(listing), name.c_str(), link, sizeof link - 1);
      if (length > 0) symlink(std::string(link, static_cast<size_t>(length)).c_str(), to.c_str());
      continue;
    }
    if (S_ISDIR(item.st_mode)) {
      if (mkdir(to.c_str(), item.st_mode & 07777) != 0) continue;
    } else {
      const int placeholder = open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
      if (placeholder < 0) continue;
      close(placeholder);
    }
    mount((from + name).c_str(), to.c_str(), nullptr, MS_BIND | MS_REC, nullptr);
  }
  closedir(listing);
  close(old);
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
  if (stat(target.c_str(), &status) != 0) {
    // A host without that device: the directory gets a private copy with it added.
    const size_t slash = target.rfind('/');
    if (errno != ENOENT || slash == std::string::npos || slash == 0)
      return failed(error, "cannot bind over " + target);
    if (!mirrorDirectory(target.substr(0, slash), error)) return false;
    const int placeholder = open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (placeholder < 0) return failed(error, "cannot make " + target);
    close(placeholder);
  }
  if (mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0)
    return failed(error, "cannot bind " + source + " over " + target);
  return true;
}
