/* A glove driver in plain C, to copy for a device of your own: it publishes a made-up
 * hand through signglove's glove record (platform/glove_shared_record.h, which says
 * what each field means). Put your device's readings in readHand, then build it with
 *   cc -std=c11 -O2 -I path/to/signglove/platform glove_driver.c -o glove_driver
 * and run it before signglove; Ctrl-C ends it and removes the record. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <limits.h>
#include <linux/futex.h>
#include <signal.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "glove_shared_record.h"

#define FIELDS_OFFSET offsetof(SharedGloveRecord, x)
#define FIELDS_SIZE (offsetof(SharedGloveRecord, padding) - FIELDS_OFFSET)

static volatile sig_atomic_t running = 1;
static void stop(int signal) { (void)signal; running = 0; }

static uint64_t nowNanos(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (uint64_t)now.tv_sec * 1000000000u + (uint64_t)now.tv_nsec;
}

/* The made-up hand: in front of the body, the fingers closing and opening every 4 s. */
static void readHand(uint64_t nanos, SharedGloveRecord *hand) {
  double phase = (double)(nanos % 4000000000u) / 4e9, closing = phase < 0.5 ? 2 * phase : 2 - 2 * phase;
  hand->x = 0, hand->y = 350, hand->z = 400;                      /* millimetres */
  hand->orient[0] = 0, hand->orient[1] = 30, hand->orient[2] = 50;  /* yaw, pitch, roll in degrees */
  for (int finger = 0; finger < 5; ++finger) hand->bend[finger] = (uint8_t)(63 * closing + 0.5);
}

int main(void) {
  const char *name = getenv("SIGNGLOVE_GLOVE") ? getenv("SIGNGLOVE_GLOVE") : SIGNGLOVE_GLOVE_SHARED_NAME;
  shm_unlink(name); /* a record this user's driver left when it died; another user's stays and O_EXCL fails */
  int fd = shm_open(name, O_RDWR | O_CREAT | O_EXCL, 0600);
  if (fd < 0 || fchmod(fd, 0600) != 0 || ftruncate(fd, sizeof(SharedGloveRecord)) != 0) {
    perror(name);
    return 1;
  }
  SharedGloveRecord *shared = mmap(NULL, sizeof *shared, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  if (shared == MAP_FAILED) return perror("mmap"), shm_unlink(name), 1;
  __atomic_store_n(&shared->heartbeatNanos, nowNanos(), __ATOMIC_RELEASE);
  __atomic_store_n(&shared->version, SIGNGLOVE_GLOVE_LAYOUT_VERSION, __ATOMIC_RELEASE);
  __atomic_store_n(&shared->magic, SIGNGLOVE_GLOVE_MAGIC, __ATOMIC_RELEASE); /* ready */
  signal(SIGINT, stop), signal(SIGTERM, stop);
  while (running) {
    SharedGloveRecord hand = {0};
    readHand(nowNanos(), &hand);
    if (memcmp((char *)&hand + FIELDS_OFFSET, (char *)shared + FIELDS_OFFSET, FIELDS_SIZE) != 0) {
      uint32_t sequence = shared->sequence;
      __atomic_store_n(&shared->sequence, sequence + 1, __ATOMIC_RELAXED); /* odd: being written */
      __atomic_thread_fence(__ATOMIC_RELEASE);
      memcpy((char *)shared + FIELDS_OFFSET, (char *)&hand + FIELDS_OFFSET, FIELDS_SIZE);
      __atomic_store_n(&shared->sequence, sequence + 2, __ATOMIC_RELEASE); /* even: whole again */
      syscall(SYS_futex, &shared->sequence, FUTEX_WAKE, INT_MAX, NULL, NULL, 0);
    }
    __atomic_store_n(&shared->heartbeatNanos, nowNanos(), __ATOMIC_RELEASE);
    usleep(10000); /* 100 records a second; the heartbeat must beat at least every 100 ms */
  }
  munmap(shared, sizeof *shared);
  shm_unlink(name);
  return 0;
}
