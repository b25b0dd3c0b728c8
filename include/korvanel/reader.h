/* Reading Korvanel's shared block safely: open it by name, check its layout
 * stamp, copy the whole block or one region so that the copy comes from one
 * moment, and write the command bytes of the state record.
 *
 * C11 or C++17 and later; standard headers and the system's own (windows.h
 * on Windows, shm_open and mmap elsewhere). Everything is inline: include
 * it and call it. On POSIX systems built with a strict C standard
 * (-std=c11), define _POSIX_C_SOURCE 200809L before the first #include of
 * the file that includes this header; link with -lrt on older C libraries.
 *
 *   KorvanelReader reader;
 *   KorvanelOpenResult opened = korvanel_open(&reader, NULL, 0);
 *   if (opened != KORVANEL_OPEN_OK) ... say korvanel_open_problem(opened)
 *   static KorvanelSharedBlock copy;
 *   if (korvanel_copy_block(&reader, &copy, KORVANEL_COPY_TRIES)) ... whole
 *   else if (korvanel_check(&reader) != KORVANEL_BLOCK_INTACT) ... close, open again
 *   korvanel_close(&reader);
 */
#ifndef KORVANEL_READER_H
#define KORVANEL_READER_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "korvanel/shared_block.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#endif

#ifdef __cplusplus
#include <atomic>
#define KORVANEL_INLINE inline
#define KORVANEL_SEQ_LOAD(p, order) \
  (reinterpret_cast<const volatile std::atomic<uint32_t>*>(p)->load(std::memory_order_##order))
#define KORVANEL_FENCE_ACQUIRE() std::atomic_thread_fence(std::memory_order_acquire)
#define KORVANEL_BYTE_STORE(p, v) \
  (reinterpret_cast<volatile std::atomic<uint8_t>*>(p)->store((v), std::memory_order_release))
extern "C" {
#else
#include <stdatomic.h>
#define KORVANEL_INLINE static inline
#define KORVANEL_SEQ_LOAD(p, order) \
  atomic_load_explicit((const volatile _Atomic uint32_t*)(p), memory_order_##order)
#define KORVANEL_FENCE_ACQUIRE() atomic_thread_fence(memory_order_acquire)
#define KORVANEL_BYTE_STORE(p, v) \
  atomic_store_explicit((volatile _Atomic uint8_t*)(p), (v), memory_order_release)
#endif

/* Tries that korvanel_copy_* make by default before it gives up: enough to
 * get past a plugin that publishes flat out; a real host publishes some 95
 * times a second and a copy is whole at the first try nearly always. */
#define KORVANEL_COPY_TRIES 200

/* Tries after which korvanel_copy_* sleep a millisecond between tries instead
 * of only yielding: a plugin thread descheduled in the middle of a write on a
 * busy machine stays so for a time slice or more, which a few hundred yields
 * alone get through long before it writes again. */
#define KORVANEL_COPY_EAGER_TRIES 16

/* An open block. `block` points into the shared memory: read it only through
 * korvanel_copy_* (or expect torn values), write it only through
 * korvanel_write_command. */
typedef struct KorvanelReader {
  KorvanelSharedBlock* block; /* null when not open */
  int writable;               /* opened for command writes */
  char name[256];             /* the name it was opened under, suffix included */
#ifdef _WIN32
  HANDLE mapping;
#else
  int fd; /* the object behind the view, kept to see it shrink or be replaced */
#endif
} KorvanelReader;

/* What korvanel_open found. Every result but KORVANEL_OPEN_OK leaves the
 * reader closed; korvanel_open_problem says each in words. */
typedef enum KorvanelOpenResult {
  KORVANEL_OPEN_OK = 0,
  KORVANEL_OPEN_ABSENT = 1,         /* no block of that name: no plugin is running */
  KORVANEL_OPEN_FAILED = 2,         /* it exists but cannot be opened or mapped */
  KORVANEL_OPEN_UNKNOWN_LAYOUT = 3, /* mapped, but its stamp is one this header
                                       does not know */
  KORVANEL_OPEN_TOO_SMALL = 4,      /* an object of that name shorter than the block:
                                       a plugin still creating it, or not the plugin's */
  KORVANEL_OPEN_NOT_A_FILE = 5,     /* POSIX: the name is a FIFO, link, socket or
                                       folder, which the plugin never makes: refused
                                       unread */
  KORVANEL_OPEN_OTHER_OWNER = 6     /* POSIX: the object belongs to another user, as
                                       the plugin's never does: refused, since its
                                       contents and commands would be that user's */
} KorvanelOpenResult;

/* Whether an open block is still the one the plugin publishes into. */
typedef enum KorvanelBlockState {
  KORVANEL_BLOCK_INTACT = 0,
  KORVANEL_BLOCK_SHRUNK = 1,  /* the object is now shorter than the block: reading
                                 the missing pages would kill the process */
  KORVANEL_BLOCK_REPLACED = 2 /* the name now leads to another object or to none:
                                 nobody publishes into this one any more */
} KorvanelBlockState;

/* One sentence, without the block's name, saying what a result of
 * korvanel_open means for a person. Never null. */
KORVANEL_INLINE const char* korvanel_open_problem(KorvanelOpenResult result) {
  switch (result) {
    case KORVANEL_OPEN_OK:
      return "the block is open";
    case KORVANEL_OPEN_ABSENT:
      return "there is no block: the plugin is not running";
    case KORVANEL_OPEN_FAILED:
      return "the block is there but cannot be opened or mapped (another user's, "
             "or no permission)";
    case KORVANEL_OPEN_UNKNOWN_LAYOUT:
      return "the block has a layout this reader does not know: the plugin and the "
             "reader come from different releases";
    case KORVANEL_OPEN_TOO_SMALL:
      return "something of the block's name is there but smaller than the block: "
             "not a whole block of the plugin, refused";
    case KORVANEL_OPEN_NOT_A_FILE:
      return "something of the block's name is there but is not a shared-memory "
             "file (a FIFO, link, socket or folder): not the plugin's, refused";
    case KORVANEL_OPEN_OTHER_OWNER:
      return "the block belongs to another user, not to the user running this "
             "reader: not this user's plugin, refused (it may be a fake)";
  }
  return "unknown result";
}

/* What a block's layout stamp says. */
typedef enum KorvanelLayout {
  KORVANEL_LAYOUT_KNOWN = 0, /* KORVANEL_LAYOUT_STAMP: this header's layout */
  KORVANEL_LAYOUT_NONE = 1,  /* 0: a plugin without the counter, or a block
                                nobody has published into yet */
  KORVANEL_LAYOUT_OTHER = 2  /* another magic or version */
} KorvanelLayout;

/* The block's name with `suffix` appended; a null `suffix` takes the value of
 * the environment variable KORVANEL_NAME_SUFFIX (none when unset). Writes at
 * most `size` bytes, always terminated. Returns `out`. */
KORVANEL_INLINE char* korvanel_block_name(const char* suffix, char* out, size_t size) {
  if (suffix == NULL) suffix = getenv(KORVANEL_NAME_SUFFIX_VARIABLE);
  snprintf(out, size, "%s%s", KORVANEL_SHARED_BLOCK_NAME, suffix ? suffix : "");
  return out;
}

/* The layout stamp of an open block. */
KORVANEL_INLINE KorvanelLayout korvanel_layout(const KorvanelReader* reader) {
  uint32_t stamp = KORVANEL_SEQ_LOAD(&reader->block->layoutStamp, acquire);
  if (stamp == KORVANEL_LAYOUT_STAMP) return KORVANEL_LAYOUT_KNOWN;
  return stamp == 0 ? KORVANEL_LAYOUT_NONE : KORVANEL_LAYOUT_OTHER;
}

/* Closes an open block; does nothing on one that is not open. */
KORVANEL_INLINE void korvanel_close(KorvanelReader* reader) {
  if (reader->block != NULL) {
#ifdef _WIN32
    UnmapViewOfFile(reader->block);
#else
    munmap((void*)reader->block, KORVANEL_SHARED_BLOCK_SIZE);
#endif
  }
#ifdef _WIN32
  if (reader->mapping != NULL) CloseHandle(reader->mapping);
  reader->mapping = NULL;
#else
  if (reader->block != NULL && reader->fd >= 0) close(reader->fd);
  reader->fd = -1;
#endif
  reader->block = NULL;
}

/* Nonzero while the object behind an open block still holds the whole
 * block, so that reading the view cannot fault: one fstat on POSIX systems;
 * always on Windows, where a mapping's size never changes. */
KORVANEL_INLINE int korvanel_whole_size(const KorvanelReader* reader) {
#ifdef _WIN32
  (void)reader;
  return 1;
#else
  struct stat st;
  return fstat(reader->fd, &st) == 0 && st.st_size >= (off_t)KORVANEL_SHARED_BLOCK_SIZE;
#endif
}

/* Whether an open block is still the plugin's: its size (one fstat) and, on
 * Linux, whether its name still leads to it (one lstat of the name). A block
 * that is not intact is to be closed and opened again. */
KORVANEL_INLINE KorvanelBlockState korvanel_check(const KorvanelReader* reader) {
#ifdef _WIN32
  (void)reader;
  return KORVANEL_BLOCK_INTACT;
#else
  struct stat mine;
  if (fstat(reader->fd, &mine) != 0 || mine.st_size < (off_t)KORVANEL_SHARED_BLOCK_SIZE) {
    return KORVANEL_BLOCK_SHRUNK;
  }
#ifdef __linux__
  {
    /* Only where the name is a file: elsewhere shm_open's names cannot be
     * looked at without opening them. */
    char path[300];
    struct stat named;
    snprintf(path, sizeof path, "/dev/shm/%s", reader->name);
    if (lstat(path, &named) != 0 || named.st_ino != mine.st_ino || named.st_dev != mine.st_dev) {
      return KORVANEL_BLOCK_REPLACED;
    }
  }
#endif
  return KORVANEL_BLOCK_INTACT;
#endif
}

/* Opens the block named KORVANEL_SHARED_BLOCK_NAME + suffix (see
 * korvanel_block_name) read-only, or for writing command bytes when
 * `writable` is nonzero. Never creates it. On POSIX systems the name is the
 * shm_open object "/" + name, that is /dev/shm/<name> on Linux; it is opened
 * without waiting (a FIFO there would block a plain open for ever) and taken
 * only when it is a regular object of this process's user of at least
 * KORVANEL_SHARED_BLOCK_SIZE bytes, as the plugin makes it. A block with a
 * stamp of another layout is refused (KORVANEL_OPEN_UNKNOWN_LAYOUT); a stamp
 * of 0 is accepted, see korvanel_layout. `reader` is closed unless the
 * result is KORVANEL_OPEN_OK. */
KORVANEL_INLINE KorvanelOpenResult korvanel_open(KorvanelReader* reader, const char* suffix,
                                                 int writable) {
  korvanel_block_name(suffix, reader->name, sizeof reader->name);
  reader->block = NULL;
  reader->writable = writable != 0;
#ifdef _WIN32
  reader->mapping =
      OpenFileMappingA(writable ? FILE_MAP_ALL_ACCESS : FILE_MAP_READ, FALSE, reader->name);
  if (reader->mapping == NULL) {
    return GetLastError() == ERROR_FILE_NOT_FOUND ? KORVANEL_OPEN_ABSENT : KORVANEL_OPEN_FAILED;
  }
  reader->block = (KorvanelSharedBlock*)MapViewOfFile(
      reader->mapping, writable ? FILE_MAP_ALL_ACCESS : FILE_MAP_READ, 0, 0,
      KORVANEL_SHARED_BLOCK_SIZE);
  if (reader->block == NULL) {
    korvanel_close(reader);
    return KORVANEL_OPEN_FAILED;
  }
#else
  {
    char path[300];
    struct stat st;
    void* view;
    int flags = writable ? O_RDWR : O_RDONLY;
    KorvanelOpenResult refused = KORVANEL_OPEN_OK;
#ifdef __linux__
    /* shm_open is open() under /dev/shm there, and passes these on; other
     * systems keep their objects out of the file system's reach. */
    flags |= O_NONBLOCK | O_NOFOLLOW;
#endif
    reader->fd = -1;
    snprintf(path, sizeof path, "/%s", reader->name);
    reader->fd = shm_open(path, flags, 0);
    if (reader->fd < 0) {
      if (errno == ENOENT) return KORVANEL_OPEN_ABSENT;
      /* A symbolic link or a socket of that name: the plugin makes neither. */
      return errno == ELOOP || errno == ENXIO ? KORVANEL_OPEN_NOT_A_FILE : KORVANEL_OPEN_FAILED;
    }
    if (fstat(reader->fd, &st) != 0) {
      refused = KORVANEL_OPEN_FAILED;
    } else if (!S_ISREG(st.st_mode)) {
      refused = KORVANEL_OPEN_NOT_A_FILE;
    } else if (st.st_uid != geteuid()) {
      refused = KORVANEL_OPEN_OTHER_OWNER;
    } else if (st.st_size < (off_t)KORVANEL_SHARED_BLOCK_SIZE) {
      refused = KORVANEL_OPEN_TOO_SMALL;
    }
    if (refused != KORVANEL_OPEN_OK) {
      close(reader->fd);
      reader->fd = -1;
      return refused;
    }
    view = mmap(NULL, KORVANEL_SHARED_BLOCK_SIZE, writable ? PROT_READ | PROT_WRITE : PROT_READ,
                MAP_SHARED, reader->fd, 0);
    if (view == MAP_FAILED) {
      close(reader->fd);
      reader->fd = -1;
      return KORVANEL_OPEN_FAILED;
    }
    reader->block = (KorvanelSharedBlock*)view;
  }
#endif
  if (korvanel_layout(reader) == KORVANEL_LAYOUT_OTHER) {
    korvanel_close(reader);
    return KORVANEL_OPEN_UNKNOWN_LAYOUT;
  }
  return KORVANEL_OPEN_OK;
}

/* Gives the processor to the plugin while it writes: at first only a yield,
 * after KORVANEL_COPY_EAGER_TRIES a millisecond's sleep. */
KORVANEL_INLINE void korvanel_pause(int attempt) {
#ifdef _WIN32
  if (attempt < KORVANEL_COPY_EAGER_TRIES)
    SwitchToThread();
  else
    Sleep(1);
#else
  if (attempt < KORVANEL_COPY_EAGER_TRIES) {
    sched_yield();
  } else {
    struct timespec pause = {0, 1000000L};
    nanosleep(&pause, NULL);
  }
#endif
}

/* Copies `size` bytes at `offset` of the block into `out` with the read
 * protocol, trying at most `tries` times (at least once). Returns 1 when the
 * copy is whole: no write of the plugin overlapped it. Returns 0 when every
 * try overlapped a write; `out` then holds the last try, which may be torn.
 * Returns 0 without copying when the object behind the view has shrunk
 * (korvanel_check then says so): the size is checked before the copy, and
 * only a shrink in the microseconds of the copy itself can still fault
 * (a SIGBUS) on POSIX systems.
 * REQUIRES: offset + size <= KORVANEL_SHARED_BLOCK_SIZE. */
KORVANEL_INLINE int korvanel_copy(const KorvanelReader* reader, size_t offset, size_t size,
                                  void* out, int tries) {
  const volatile uint32_t* sequence = &reader->block->sequence;
  const unsigned char* from = (const unsigned char*)reader->block + offset;
  int attempt;
  if (!korvanel_whole_size(reader)) return 0;
  for (attempt = 1;; ++attempt) {
    uint32_t before = KORVANEL_SEQ_LOAD(sequence, acquire);
    int last = attempt >= tries;
    if ((before & 1u) != 0 && !last) {
      korvanel_pause(attempt);
      continue;
    }
    /* The copy may race with the plugin's writes; the second reading of the
     * counter tells whether it did. The acquire load keeps the copy after the
     * first reading, the acquire fence keeps it before the second. Any byte
     * of a write that the copy caught was stored after that write's odd
     * counter (the plugin fences between them), so the second reading then
     * differs from an even first one and the copy is not reported whole. */
    memcpy(out, from, size);
    KORVANEL_FENCE_ACQUIRE();
    if ((before & 1u) == 0 && KORVANEL_SEQ_LOAD(sequence, relaxed) == before) return 1;
    if (last) return 0;
    korvanel_pause(attempt);
  }
}

/* The whole block; see korvanel_copy. */
KORVANEL_INLINE int korvanel_copy_block(const KorvanelReader* reader, KorvanelSharedBlock* out,
                                        int tries) {
  return korvanel_copy(reader, 0, sizeof *out, out, tries);
}

/* One region, by its field in KorvanelSharedBlock, for example
 *   KorvanelScoringInfoV2 scoring;
 *   KORVANEL_COPY_REGION(&reader, scoring, &scoring, KORVANEL_COPY_TRIES)
 * Whole in the same sense as korvanel_copy. */
#define KORVANEL_COPY_REGION(reader, field, out, tries)         \
  korvanel_copy((reader), offsetof(KorvanelSharedBlock, field), \
                sizeof(((KorvanelSharedBlock*)0)->field), (out), (tries))

/* The command bytes of the state record a display program may write. */
typedef enum KorvanelCommand {
  KORVANEL_COMMAND_DISTANCE_RESET = 40, /* KORVANEL_RESET_VEHICLE_DISTANCE or
                                           KORVANEL_RESET_TRACK_DISTANCE; the
                                           plugin clears it once carried out */
  KORVANEL_COMMAND_CLASS_ROW = 42,      /* class row to group by, 0 to 255 */
  KORVANEL_COMMAND_KERS_TIMER_ON = 43,  /* 1: the KERS timer runs */
  KORVANEL_COMMAND_KERS_RUNNING = 44    /* nonzero: it counts down */
} KorvanelCommand;

/* Writes one command byte into the block's state record, as one store. The
 * plugin picks it up at its next update. Returns 0, writing nothing, when the
 * block was opened read-only or has shrunk. */
KORVANEL_INLINE int korvanel_write_command(KorvanelReader* reader, KorvanelCommand command,
                                           uint8_t value) {
  unsigned char* state;
  if (!reader->writable || reader->block == NULL || !korvanel_whole_size(reader)) return 0;
  state = (unsigned char*)&reader->block->state;
  KORVANEL_BYTE_STORE(state + (size_t)command, value);
  return 1;
}

#ifdef __cplusplus
}
#endif

KORVANEL_STATIC_ASSERT(offsetof(KorvanelHostState, distanceResetCommand) == 40,
                       "command byte offsets");
KORVANEL_STATIC_ASSERT(offsetof(KorvanelHostState, selectedClassRow) == 42, "command byte offsets");
KORVANEL_STATIC_ASSERT(offsetof(KorvanelHostState, kersTimerOn) == 43, "command byte offsets");
KORVANEL_STATIC_ASSERT(offsetof(KorvanelHostState, kersRunning) == 44, "command byte offsets");

#undef KORVANEL_INLINE

#endif /* KORVANEL_READER_H */
