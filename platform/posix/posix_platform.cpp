// POSIX implementation of the platform interface: shm_open and mmap for the
// shared block and the shared section, a pthread mutex for the data lock,
// CLOCK_MONOTONIC for the tick, rename for atomic file replacement.
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "platform/platform_common.h"
#include "platform/posix/posix_owners.h"

namespace korvanel::platform {

uint32_t systemTickCount() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms =
      static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void pause(uint32_t ms) {
  if (ms == 0) {
    sched_yield();
    return;
  }
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

// ---- Lock -------------------------------------------------------------------

static_assert(sizeof(pthread_mutex_t) <= sizeof(LockStorage));
static_assert(alignof(pthread_mutex_t) <= alignof(LockStorage));

static pthread_mutex_t* mutexOf(LockStorage& lock) {
  return reinterpret_cast<pthread_mutex_t*>(lock.bytes);
}

void lockInit(LockStorage& lock) {
  // Recursive, as a critical section is: the thread that holds it may enter
  // again.
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  new (lock.bytes) pthread_mutex_t;
  pthread_mutex_init(mutexOf(lock), &attr);
  pthread_mutexattr_destroy(&attr);
}

bool lockTryEnter(LockStorage& lock) { return pthread_mutex_trylock(mutexOf(lock)) == 0; }

void lockEnter(LockStorage& lock) { pthread_mutex_lock(mutexOf(lock)); }

void lockLeave(LockStorage& lock) { pthread_mutex_unlock(mutexOf(lock)); }

// ---- Shared block -----------------------------------------------------------

static void shmName(const char* name, char* out, size_t outSize) {
  char effective[256];
  effectiveObjectName(name, effective, sizeof effective);
  std::snprintf(out, outSize, "/%s", effective);
}

namespace {

// Whether an object that existed before we opened it may be written: it must
// be ours (another user's object with open permissions could be resized or
// read by anyone) and a regular shared-memory object.
bool trusted(const struct stat& st) { return st.st_uid == geteuid() && S_ISREG(st.st_mode); }

// Replaces the pages at `view` by memory of this process alone, so that the
// address stays valid whatever happens to the object behind it.
bool replaceWithPrivateMemory(void* view, size_t size) {
  return mmap(view, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
         MAP_FAILED;
}

// Makes the object behind `fd` at least `size` bytes long again when a
// reader shrank it. False when it is short and stays short.
bool keepSize(int fd, size_t size) {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  if (st.st_size >= static_cast<off_t>(size)) return true;
  return ftruncate(fd, static_cast<off_t>(size)) == 0;
}

// ---- Fault guard ------------------------------------------------------------
//
// Checking the objects' sizes before every host call costs two system calls
// each time, for a fault that a reader with a wrong idea of the layout causes
// once in a blue moon. Instead a touch of a page another process cut away
// is caught where it happens: the object is grown back (or, when it cannot
// be, its view becomes memory of this process alone) and the access runs
// again. Only faults inside the views registered here are taken; any other
// goes to whatever handled the signal before.

struct GuardedRegion {
  std::atomic<uintptr_t> begin{0};
  std::atomic<uintptr_t> size{0};
  std::atomic<int> fd{-1};
};

constexpr int kBlockRegion = 0;
constexpr int kSectionRegion = 1;
GuardedRegion gGuarded[2];
std::atomic<bool> gFaultSeen{false};
struct sigaction gPreviousBusAction;

void onBusFault(int, siginfo_t* info, void*) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
  for (GuardedRegion& region : gGuarded) {
    const uintptr_t begin = region.begin.load();
    const uintptr_t size = region.size.load();
    if (begin == 0 || address - begin >= size) continue;
    // Both are plain system calls, safe inside a signal handler.
    const int fd = region.fd.load();
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) {
      replaceWithPrivateMemory(reinterpret_cast<void*>(begin), size);
    }
    gFaultSeen.store(true);
    return;
  }
  // Not ours: the access faults again, under the action that was there.
  sigaction(SIGBUS, &gPreviousBusAction, nullptr);
}

// Guards `size` bytes at `view` backed by `fd` (-1: nothing to grow back).
void guardRegion(int which, void* view, size_t size, int fd) {
  static const bool installed = [] {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = onBusFault;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO;
    return sigaction(SIGBUS, &action, &gPreviousBusAction) == 0;
  }();
  (void)installed;
  GuardedRegion& region = gGuarded[which];
  region.begin.store(0);  // never half described to the handler
  region.fd.store(fd);
  region.size.store(size);
  region.begin.store(reinterpret_cast<uintptr_t>(view));
}

void unguardRegion(void* view) {
  for (GuardedRegion& region : gGuarded) {
    if (view != nullptr && region.begin.load() == reinterpret_cast<uintptr_t>(view)) {
      region.begin.store(0);
    }
  }
}

}  // namespace

bool takeSharedObjectFault() { return gFaultSeen.exchange(false); }

SharedBlockStatus createSharedBlock(const char* name, uint32_t size, SharedMapping& out) {
  out.reset();
  SharedBlockStatus status;
  if (takeInjectedMapFailure(status.result, status.errorCode)) return status;

  char path[300];
  shmName(name, path, sizeof path);
  // For this user only: the block carries commands the plugin obeys.
  bool created = true;
  UniqueFd fd(shm_open(path, O_RDWR | O_CREAT | O_EXCL, 0600));
  if (!fd && errno == EEXIST) {
    created = false;
    fd.reset(shm_open(path, O_RDWR, 0));
  }
  if (!fd) return {MapResult::kCreateFailed, errno};
  struct stat st;
  if (fstat(fd.get(), &st) != 0) return {MapResult::kCreateFailed, errno};
  // One that a reader of ours made first may be grown to size; its size is
  // checked again after that, on the object as it now is.
  if ((!created && !trusted(st)) ||
      (st.st_size < static_cast<off_t>(size) && ftruncate(fd.get(), size) != 0) ||
      fstat(fd.get(), &st) != 0 || st.st_size < static_cast<off_t>(size)) {
    return {MapResult::kCreateFailed, errno != 0 && created ? errno : EPERM};
  }
  MappedView view({mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0), size});
  if (!view) return {MapResult::kMapFailed, errno};
  guardRegion(kBlockRegion, view.get().address, size, fd.get());
  SharedMappingAccess::adopt(out, view.release().address, static_cast<uintptr_t>(fd.release()) + 1,
                             size);  // 0 means no descriptor
  return status;
}

void SharedMapping::reset() {
  void* view;
  uintptr_t handle;
  uint32_t size;
  SharedMappingAccess::releaseAll(*this, view, handle, size);
  unguardRegion(view);
  // Declared in this order, the view goes before its descriptor.
  UniqueFd fd(handle != 0 ? static_cast<int>(handle - 1) : -1);
  MappedView mapped({view, size});
}

// ---- Shared section ---------------------------------------------------------

namespace {

// The shared section's object, kept open to check its size, and its view,
// which stays mapped for the process's life: the state record lives there.
struct SectionObject {
  UniqueFd fd;
  void* view = nullptr;
  size_t size = 0;
};

SectionObject& sectionObject() {
  static NeverDestroyed<SectionObject> section;
  return section.get();
}

}  // namespace

static void* mapSharedSection(size_t size, const void* firstContents) {
  char path[300];
  shmName("Korvanel.state", path, sizeof path);
  bool created = true;
  UniqueFd fd(shm_open(path, O_RDWR | O_CREAT | O_EXCL, 0600));
  if (!fd && errno == EEXIST) {
    created = false;
    fd.reset(shm_open(path, O_RDWR, 0));
  }
  void* view = MAP_FAILED;
  struct stat st;
  if (fd && fstat(fd.get(), &st) == 0 && (created || trusted(st))) {
    if (!created || ftruncate(fd.get(), static_cast<off_t>(size)) == 0) {
      // A creator that has not sized the object yet: wait briefly for it.
      for (int i = 0;
           i < 1000 && fstat(fd.get(), &st) == 0 && st.st_size < static_cast<off_t>(size); ++i) {
        usleep(1000);
      }
      // Mapped only at its full size: a page past the object's end faults.
      if (fstat(fd.get(), &st) == 0 && st.st_size >= static_cast<off_t>(size)) {
        view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
      }
    }
  }
  if (view != MAP_FAILED) {
    SectionObject& section = sectionObject();
    section.fd = std::move(fd);
    section.view = view;
    section.size = size;
    guardRegion(kSectionRegion, view, size, section.fd.get());
  } else {
    // Without the shared object the record is still this process's own.
    alignas(8) static unsigned char local[kSharedSectionCapacity];
    view = local;
    created = true;
  }
  if (created) std::memcpy(view, firstContents, size);
  return view;
}

void* sharedSection(size_t size, const void* firstContents) {
  if (size > kSharedSectionCapacity) size = kSharedSectionCapacity;
  static void* section = mapSharedSection(size, firstContents);
  return section;
}

bool sharedObjectsIntact(SharedMapping& mapping) {
  bool intact = true;
  uintptr_t handle = SharedMappingAccess::handle(mapping);
  if (mapping.view() && handle != 0) {
    if (!keepSize(static_cast<int>(handle - 1), mapping.size())) {
      replaceWithPrivateMemory(mapping.view(), mapping.size());
      // Closed here: the view is ours alone from now on.
      gGuarded[kBlockRegion].fd.store(-1);
      UniqueFd given(static_cast<int>(SharedMappingAccess::releaseHandle(mapping) - 1));
      intact = false;
    }
  }
  SectionObject& section = sectionObject();
  if (section.fd && !keepSize(section.fd.get(), section.size)) {
    replaceWithPrivateMemory(section.view, section.size);
    gGuarded[kSectionRegion].fd.store(-1);
    section.fd.reset();
    intact = false;
  }
  return intact;
}

// ---- Files ------------------------------------------------------------------

// Appends `name` to the folder `dir` (which ends with '/' or is empty),
// taking the spelling that exists there when it differs only in case.
static void appendMatching(char* dir, size_t dirSize, const char* name, size_t nameLen) {
  char wanted[256];
  std::snprintf(wanted, sizeof wanted, "%.*s", static_cast<int>(nameLen), name);
  const char* chosen = wanted;
  char found[256];
  UniqueDir d(opendir(dir[0] ? dir : "."));
  if (d) {
    bool exact = false;
    found[0] = 0;
    while (dirent* e = readdir(d.get())) {
      if (std::strcmp(e->d_name, wanted) == 0) {
        exact = true;
        break;
      }
      if (!found[0] && strcasecmp(e->d_name, wanted) == 0) {
        std::snprintf(found, sizeof found, "%s", e->d_name);
      }
    }
    d.reset();
    if (!exact && found[0]) chosen = found;
  }
  size_t used = std::strlen(dir);
  std::snprintf(dir + used, dirSize - used, "%s", chosen);
}

void hostPath(const char* path, char* out, size_t outSize) {
  if (outSize == 0) return;
  char result[1024] = "";
  const char* p = path;
  if (*p == '/' || *p == '\\') {
    std::snprintf(result, sizeof result, "/");
    while (*p == '/' || *p == '\\') ++p;
  }
  while (*p) {
    size_t len = std::strcspn(p, "/\\");
    appendMatching(result, sizeof result, p, len);
    p += len;
    if (*p) {
      size_t used = std::strlen(result);
      std::snprintf(result + used, sizeof result - used, "/");
      while (*p == '/' || *p == '\\') ++p;
    }
  }
  std::snprintf(out, outSize, "%s", result);
}

namespace {

// The folder part of `path` ("." when it has none).
void folderOf(const char* path, char* out, size_t outSize) {
  std::snprintf(out, outSize, "%s", path);
  char* slash = std::strrchr(out, '/');
  if (slash == out) {
    out[1] = 0;
  } else if (slash) {
    *slash = 0;
  } else {
    std::snprintf(out, outSize, ".");
  }
}

// Creates every missing folder of `folder`.
void createFolders(const char* folder) {
  char partial[1100];
  std::snprintf(partial, sizeof partial, "%s", folder);
  for (char* p = partial + 1; *p; ++p) {
    if (*p != '/') continue;
    *p = 0;
    mkdir(partial, 0777);
    *p = '/';
  }
  mkdir(partial, 0777);
}

// A temporary name beside `path` that no other process or thread uses now:
// two hosts saving into one folder must never write into each other's file.
void temporaryName(const char* path, char* out, size_t outSize) {
  static std::atomic<uint32_t> counter{0};
  std::snprintf(out, outSize, "%s.%ld.%u.tmp", path, static_cast<long>(getpid()),
                static_cast<unsigned>(counter.fetch_add(1)));
}

bool writeAll(int fd, const char* p, size_t left) {
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

// The error code of a failed step; an injected failure has none of its own.
int32_t lastError() { return errno != 0 ? errno : EIO; }

// Removes the temporary files beside `path` of writers that were killed
// before they could remove them: processes that no longer run.
void removeDeadWritersFiles(const char* path) {
  char folder[1100];
  folderOf(path, folder, sizeof folder);
  const char* slash = std::strrchr(path, '/');
  const char* base = slash ? slash + 1 : path;
  size_t baseLen = std::strlen(base);
  UniqueDir d(opendir(folder));
  if (!d) return;
  while (dirent* e = readdir(d.get())) {
    const char* name = e->d_name;
    if (std::strncmp(name, base, baseLen) != 0 || name[baseLen] != '.') continue;
    long pid = 0;
    unsigned serial = 0;
    char tail[8] = "";
    if (std::sscanf(name + baseLen, ".%ld.%u.%7s", &pid, &serial, tail) != 3 ||
        std::strcmp(tail, "tmp") != 0 || pid <= 0 || pid == getpid()) {
      continue;
    }
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      char full[1400];
      std::snprintf(full, sizeof full, "%s/%s", folder, name);
      unlink(full);
    }
  }
}

}  // namespace

Status writeFileAtomically(const char* path, const void* contents, size_t size) {
  char temp[1100];
  temporaryName(path, temp, sizeof temp);
  errno = 0;
  UniqueFd fd;
  if (!injectedFileFailure(1)) {
    fd.reset(open(temp, O_WRONLY | O_CREAT | O_EXCL, 0666));
    if (!fd && errno == ENOENT) {
      char folder[1100];
      folderOf(path, folder, sizeof folder);
      createFolders(folder);
      fd.reset(open(temp, O_WRONLY | O_CREAT | O_EXCL, 0666));
    }
  }
  if (!fd) return Status::failure(lastError());
  errno = 0;
  int32_t code = 0;
  bool ok = !injectedFileFailure(2) && writeAll(fd.get(), static_cast<const char*>(contents), size);
  if (ok && (injectedFileFailure(3) || fsync(fd.get()) != 0)) ok = false;
  if (!ok) code = lastError();
  // Closed here, not at the end: an error of the last write may surface
  // only now, and the file must be whole before it replaces the old one.
  if (!fd.close() || injectedFileFailure(4)) {
    if (ok) code = lastError();
    ok = false;
  }
  if (ok && (injectedFileFailure(5) || rename(temp, path) != 0)) {
    code = lastError();
    ok = false;
  }
  if (!ok) {
    unlink(temp);
    return Status::failure(code);
  }
  removeDeadWritersFiles(path);
  // Make the rename itself durable.
  char dir[1100];
  folderOf(path, dir, sizeof dir);
  UniqueFd folder(open(dir, O_RDONLY));
  if (folder) fsync(folder.get());
  return Status();
}

namespace {

// What readFile gives for what is not a regular file.
constexpr int32_t kNotRegularFile = EINVAL;

// Opens `path` with `flags` without blocking (a pipe would wait for a peer
// for ever) and keeps it only when it is a regular file; blocking is
// restored for the reads and writes that follow. Null with errno set when
// refused.
UniqueFd openRegular(const char* path, int flags, mode_t mode = 0) {
  UniqueFd fd(open(path, flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode));
  if (!fd) return fd;
  struct stat st;
  if (fstat(fd.get(), &st) != 0) return UniqueFd();
  if (!S_ISREG(st.st_mode)) {
    errno = kNotRegularFile;
    return UniqueFd();
  }
  int status = fcntl(fd.get(), F_GETFL);
  if (status != -1) fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK);
  return fd;
}

}  // namespace

FileRead readFile(const char* path, size_t maxSize, std::string& out, int32_t& errorCode) {
  out.clear();
  errorCode = 0;
  errno = 0;
  UniqueFd fd = openRegular(path, O_RDONLY);
  if (!fd) {
    if (errno == ENOENT) return FileRead::kMissing;
    errorCode = lastError();
    return FileRead::kFailed;
  }
  struct stat st;
  if (fstat(fd.get(), &st) == 0 && static_cast<uint64_t>(st.st_size) > maxSize) {
    return FileRead::kTooLarge;
  }
  // A length that grows while we read is caught by reading no more than
  // the limit.
  char buffer[16384];
  for (;;) {
    ssize_t n = read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      errorCode = lastError();
      out.clear();
      return FileRead::kFailed;
    }
    if (n == 0) return FileRead::kRead;
    if (out.size() + static_cast<size_t>(n) > maxSize) {
      out.clear();
      return FileRead::kTooLarge;
    }
    out.append(buffer, static_cast<size_t>(n));
  }
}

std::FILE* openFileForWriting(const char* path) {
  UniqueFd fd = openRegular(path, O_WRONLY | O_CREAT, 0666);
  // Emptied only once it is known to be a regular file.
  if (!fd || ftruncate(fd.get(), 0) != 0) return nullptr;
  std::FILE* file = fdopen(fd.get(), "w");
  if (file) fd.release();
  return file;
}

Status resolveLinks(const char* path, char* out, size_t outSize) {
  std::string current = path;
  for (int hops = 0;; ++hops) {
    struct stat st;
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    if (hops == 40) return Status::failure(ELOOP);
    char target[1100];
    ssize_t n = readlink(current.c_str(), target, sizeof target - 1);
    if (n < 0) return Status::failure(errno);
    target[n] = 0;
    if (target[0] == '/') {
      current = target;
    } else {
      char folder[1100];
      folderOf(current.c_str(), folder, sizeof folder);
      current = std::string(folder) + "/" + target;
    }
  }
  if (current.size() >= outSize) return Status::failure(ENAMETOOLONG);
  std::snprintf(out, outSize, "%s", current.c_str());
  return Status();
}

Status renameFile(const char* from, const char* to) {
  if (rename(from, to) == 0) return Status();
  return Status::failure(errno);
}

Status overwriteFileInPlace(const char* path, const void* contents, size_t size) {
  errno = 0;
  UniqueFd fd = openRegular(path, O_WRONLY | O_CREAT, 0666);
  if (!fd) return Status::failure(lastError());
  if (!writeAll(fd.get(), static_cast<const char*>(contents), size) ||
      ftruncate(fd.get(), static_cast<off_t>(size)) != 0 || fsync(fd.get()) != 0) {
    return Status::failure(lastError());
  }
  return Status();
}

bool refusedWhileHeldOpen(int32_t) { return false; }

Status removeFile(const char* path) {
  if (unlink(path) == 0 || errno == ENOENT) return Status();
  return Status::failure(errno);
}

bool fileExists(const char* path) {
  struct stat st;
  return stat(path, &st) == 0;
}

Status takeFileLock(const char* path, uint32_t timeoutMs, FileLock& lock) {
  lock.reset();
  // On the folder: it leaves no lock file behind.
  char folder[1100];
  folderOf(path, folder, sizeof folder);
  UniqueFd fd(open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd && errno == ENOENT) {
    createFolders(folder);
    fd.reset(open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  }
  if (!fd) return Status::failure(errno);
  // Counted in sleeps, not ticks: a test's stopped clock must not make it
  // wait for ever.
  for (uint32_t waited = 0; flock(fd.get(), LOCK_EX | LOCK_NB) != 0; ++waited) {
    int32_t code = errno;
    if ((code != EWOULDBLOCK && code != EINTR) || waited >= timeoutMs) {
      return Status::failure(code);
    }
    pause(1);
  }
  lock.reset(fd.release());
  return Status();
}

// Closing the last descriptor drops the flock.
bool FileLockTraits::close(Handle handle) { return ::close(static_cast<int>(handle)) == 0; }

void unlinkSharedBlock(const char* name) {
  char path[300];
  shmName(name, path, sizeof path);
  shm_unlink(path);
}

void unlinkNamedObjects() {
  unlinkSharedBlock("$Quorvex2KORVANEL$");
  unlinkSharedBlock("Korvanel.state");
}

}  // namespace korvanel::platform
