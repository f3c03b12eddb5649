// The rig's private mount namespace, in a child process so that this one keeps the
// host's view: what the child mounts must be seen by it and never by the host.

#include "rig/mount_namespace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr int kSkip = 77;

// Runs body in a child that has entered a private mount namespace; its exit status:
// 0 when every check held, kSkip when the host allows no namespace, else the failing check.
int inPrivateNamespace(int (*body)()) {
  const pid_t child = fork();
  if (child == 0) {
    std::string error;
    if (!enterPrivateMountNamespace(error)) _exit(kSkip);
    _exit(body());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

bool isCharacterDevice(const char* path) {
  struct stat status {};
  return stat(path, &status) == 0 && S_ISCHR(status.st_mode);
}

const char* const kMissing = "/dev/signglove-rig-test-missing";
const char* const kObject = "/dev/shm/signglove-rig-test-object";

TEST(PrivateMountNamespace, ADeviceThatIsMissingIsAddedInTheNamespaceOnly) {
  ASSERT_FALSE(isCharacterDevice(kMissing));
  const int result = inPrivateNamespace([] {
    std::string error;
    if (!bindOver("/dev/null", kMissing, error)) return 1;
    if (!isCharacterDevice(kMissing)) return 2;
    // The rest of the directory is still there and works.
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || write(null, "x", 1) != 1) return 3;
    close(null);
    if (!isCharacterDevice("/dev/zero")) return 4;
    return 0;
  });
  if (result == kSkip) GTEST_SKIP() << "no mount namespace can be made here";
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(isCharacterDevice(kMissing)) << "the host's /dev was changed";
  EXPECT_NE(access(kMissing, F_OK), 0);
}

TEST(PrivateMountNamespace, SharedMemoryMadeInsideIsNotSeenOutside) {
  const int result = inPrivateNamespace([] {
    std::string error;
    if (!mountPrivateShm(error)) return 1;
    const int fd = open(kObject, O_RDWR | O_CREAT, 0600);
    if (fd < 0) return 2;
    close(fd);
    return access(kObject, F_OK) == 0 ? 0 : 3;
  });
  if (result == kSkip) GTEST_SKIP() << "no mount namespace can be made here";
  EXPECT_EQ(result, 0);
  EXPECT_NE(access(kObject, F_OK), 0);
}

TEST(PrivateMountNamespace, AnExistingDeviceShowsTheBoundOneInside) {
  // /dev/zero stands in for a serial port; inside, it reads as /dev/null (end of file).
  const int result = inPrivateNamespace([] {
    std::string error;
    if (!bindOver("/dev/null", "/dev/zero", error)) return 1;
    const int fd = open("/dev/zero", O_RDONLY);
    char byte = 1;
    return fd >= 0 && read(fd, &byte, 1) == 0 ? 0 : 2;
  });
  if (result == kSkip) GTEST_SKIP() << "no mount namespace can be made here";
  EXPECT_EQ(result, 0);
  const int fd = open("/dev/zero", O_RDONLY);
  char byte = 1;
  EXPECT_EQ(read(fd, &byte, 1), 1);
  EXPECT_EQ(byte, 0) << "the host's /dev/zero was changed";
  close(fd);
}

}  // namespace
