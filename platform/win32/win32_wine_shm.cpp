// The shared block in /dev/shm under Wine: a file that native Linux programs
// map with shm_open under the same name, with the named mapping created on
// it so that Windows readers in the prefix open it by name as elsewhere.
//
// Wine reports a Unix symbolic link to a file as a plain file (only links to
// folders carry FILE_ATTRIBUTE_REPARSE_POINT) and follows it on open, with or
// without FILE_FLAG_OPEN_REPARSE_POINT. So an existing file is judged by its
// open handle: the path Wine resolved for it must be the folder's own path
// and the name, and it must be a regular file of this user. A new file is
// made with CREATE_NEW, which never follows a link.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <aclapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/platform_common.h"
#include "platform/win32/win32_owners.h"
#include "platform/win32/win32_wine_shm.h"

namespace korvanel::platform {
namespace {

// The folder as Windows programs under Wine reach the Unix /dev/shm. Tests
// point KORVANEL_TEST_SHM_DIRECTORY elsewhere to make it unreachable.
const char* shmDirectory() {
  const char* injected = std::getenv("KORVANEL_TEST_SHM_DIRECTORY");
  return injected && injected[0] ? injected : "Z:\\dev\\shm";
}

bool sameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION x{}, y{};
  return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

// Gives up on the file at `path`: removes it when `remove`, closes it.
void dropFile(UniqueHandle file, bool remove, const char* path) {
  if (!file) return;
  if (remove) {
    // Through the handle, so exactly this file goes whatever the name
    // leads to by now. Wine refuses that while a reader still maps the
    // file, but then removes the name: so by name, once it is seen to
    // lead to this file still.
    FILE_DISPOSITION_INFO dispose{TRUE};
    if (!SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof dispose)) {
      UniqueHandle again(CreateFileA(
          path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
          nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
      bool same = again && sameFile(file.get(), again.get());
      again.reset();
      file.reset();
      if (same) DeleteFileA(path);
    }
  }
}

struct WineFile {
  void* view = nullptr;  // the block's view; null while the slot is free
  UniqueHandle file;
  UniqueHandle presence;  // this process's hold on the hosts' marker
  bool created = false;   // this process made the file
  char objectName[256] = "";
  char path[MAX_PATH + 256] = "";
};

// Every host on the file holds a named event beside the mapping. Readers
// never open it, and the system closes a dead process's handles, so it
// exists exactly while some host in the prefix still uses the file.
void markerName(const char* objectName, char* out, size_t outSize) {
  std::snprintf(out, outSize, "%s.hosts", objectName);
}

bool otherHostAlive(const char* objectName) {
  char marker[300];
  markerName(objectName, marker, sizeof marker);
  return UniqueHandle(OpenEventA(SYNCHRONIZE, FALSE, marker)).valid();
}

// Ends this process's use of the file: removes it if this process made it
// and no other host uses it, closes it either way.
void letGo(WineFile& wineFile) {
  wineFile.presence.reset();
  bool remove = wineFile.created && !otherHostAlive(wineFile.objectName);
  dropFile(std::move(wineFile.file), remove, wineFile.path);
}

struct WineFiles {
  // A process holds few blocks at once (one, in the plugin); tests hold three.
  WineFile slots[8];
  WineFile pending;  // between createWineFileMapping and adoptWineFile
};
// Never destroyed: a host that ends without releasing its block leaves the
// file as a crashed one does, for the next host to take over.
NeverDestroyed<WineFiles> gFiles;
SRWLOCK gFilesLock = SRWLOCK_INIT;

// Notes for the log why the block stays out of /dev/shm; returns null.
void* fallBack(UniqueHandle file, bool created, const char* path, const char* why,
               long detail = 0) {
  dropFile(std::move(file), created, path);
  char reason[512];
  if (detail != 0) {
    std::snprintf(reason, sizeof reason, "%s %s (%ld)", path, why, detail);
  } else {
    std::snprintf(reason, sizeof reason, "%s %s", path, why);
  }
  noteSharedBlockFallback(reason);
  return nullptr;
}

// The process's user, into `buffer`; null when it cannot be read.
PSID processUser(unsigned char* buffer, DWORD bufferSize) {
  HANDLE opened = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) return nullptr;
  UniqueHandle token(opened);
  DWORD used = 0;
  BOOL ok = GetTokenInformation(token.get(), TokenUser, buffer, bufferSize, &used);
  return ok ? reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid : nullptr;
}

// Creates `path` only if nothing of that name exists, links included, with
// access for this user alone. Wine turns that into the Unix mode: the user's
// bits, mirrored to the group (the user's own group on most systems), never
// any for others, and the file creation mask of Wine's server applied.
HANDLE createNew(const char* path, PSID user) {
  alignas(8) unsigned char aclBuffer[256];
  auto* acl = reinterpret_cast<PACL>(aclBuffer);
  SECURITY_DESCRIPTOR descriptor;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  if (user && InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) &&
      AddAccessAllowedAce(acl, ACL_REVISION, FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE,
                          user) &&
      InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
      SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE)) {
    attributes.lpSecurityDescriptor = &descriptor;
  } else {
    // Without the user-only access list the file would be readable by all.
    SetLastError(ERROR_INVALID_SECURITY_DESCR);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &attributes,
                     CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The path Wine resolved for an open handle (links followed), or "".
void finalPath(HANDLE handle, char* out, DWORD outSize) {
  DWORD n = GetFinalPathNameByHandleA(handle, out, outSize, FILE_NAME_NORMALIZED);
  if (n == 0 || n >= outSize) out[0] = 0;
}

bool ownedBy(HANDLE file, PSID user) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  UniqueLocal owned(descriptor);  // `owner` points into it
  return user && owner && EqualSid(owner, user);
}

}  // namespace

bool runningUnderWine() {
  static const bool wine =
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

void* createWineFileMapping(const char* objectName, uint32_t size) {
  AcquireSRWLockExclusive(&gFilesLock);
  WineFile& stale = gFiles.get().pending;
  dropFile(std::move(stale.file), stale.created, stale.path);
  stale = WineFile{};
  ReleaseSRWLockExclusive(&gFilesLock);
  if (!runningUnderWine()) return nullptr;

  const char* directory = shmDirectory();
  char path[MAX_PATH + 256];
  std::snprintf(path, sizeof path, "%s\\%s", directory, objectName);
  DWORD directoryAttributes = GetFileAttributesA(directory);
  if (directoryAttributes == INVALID_FILE_ATTRIBUTES) {
    return fallBack(UniqueHandle(), false, directory, "is not reachable",
                    static_cast<long>(GetLastError()));
  }
  if (!(directoryAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return fallBack(UniqueHandle(), false, directory, "is not a folder");
  }
  unsigned char userBuffer[128];
  PSID user = processUser(userBuffer, sizeof userBuffer);

  bool created = true;
  UniqueHandle file(createNew(path, user));
  if (!file) {
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      return fallBack(std::move(file), false, path, "cannot be created", static_cast<long>(error));
    }
    // Left by a host that crashed, or in use by another host: checked
    // before it is opened, and again through the handle once it is.
    created = false;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      return fallBack(std::move(file), false, path, "exists but cannot be examined",
                      static_cast<long>(GetLastError()));
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      return fallBack(std::move(file), false, path, "is a symbolic link");
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      return fallBack(std::move(file), false, path, "is not a regular file");
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
      return fallBack(std::move(file), false, path, "is read-only");
    }
    file.reset(CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
      return fallBack(std::move(file), false, path, "cannot be opened for writing",
                      static_cast<long>(GetLastError()));
    }
  }

  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
    return fallBack(std::move(file), created, path, "is not a regular file");
  }
  if (!created) {
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
      return fallBack(std::move(file), false, path, "is read-only");
    }
    char wanted[MAX_PATH + 300] = "";
    char got[MAX_PATH + 300] = "";
    UniqueHandle folder(CreateFileA(directory, FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (folder) finalPath(folder.get(), wanted, sizeof wanted);
    folder.reset();
    finalPath(file.get(), got, sizeof got);
    size_t used = std::strlen(wanted);
    if (used > 0) std::snprintf(wanted + used, sizeof wanted - used, "\\%s", objectName);
    if (used == 0 || got[0] == 0 || std::strcmp(wanted, got) != 0) {
      char why[MAX_PATH + 340];
      std::snprintf(why, sizeof why, "is a symbolic link (to %s)", got[0] ? got : "?");
      return fallBack(std::move(file), false, path, why);
    }
    if (!ownedBy(file.get(), user)) {
      return fallBack(std::move(file), false, path, "belongs to another user");
    }
  }

  LARGE_INTEGER length{};
  if (!GetFileSizeEx(file.get(), &length)) {
    return fallBack(std::move(file), created, path, "has no readable size",
                    static_cast<long>(GetLastError()));
  }
  if (length.QuadPart > static_cast<LONGLONG>(size) && !created) {
    // Cutting it to size would destroy what is not the block's.
    return fallBack(std::move(file), false, path, "is larger than the block",
                    static_cast<long>(length.QuadPart));
  }
  if (length.QuadPart < static_cast<LONGLONG>(size)) {
    // Growing keeps every byte there is; the new ones read zero.
    LARGE_INTEGER end{};
    end.QuadPart = size;
    if (!SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) || !SetEndOfFile(file.get())) {
      return fallBack(std::move(file), created, path, "cannot be given the block's size",
                      static_cast<long>(GetLastError()));
    }
  }

  UniqueHandle mapping(
      CreateFileMappingA(file.get(), nullptr, PAGE_READWRITE, 0, size, objectName));
  DWORD error = GetLastError();
  if (!mapping) {
    return fallBack(std::move(file), created, path, "cannot be mapped", static_cast<long>(error));
  }
  if (error == ERROR_ALREADY_EXISTS && created) {
    // A mapping of that name was there before its file: it lives in the
    // paging file, and readers in the prefix already hold it. Keep to it.
    mapping.reset();
    return fallBack(std::move(file), true, path,
                    "was new but a mapping of that name already exists in the prefix");
  }
  AcquireSRWLockExclusive(&gFilesLock);
  WineFile& pending = gFiles.get().pending;
  pending.file = std::move(file);
  pending.created = created;
  std::snprintf(pending.objectName, sizeof pending.objectName, "%s", objectName);
  std::snprintf(pending.path, sizeof pending.path, "%s", path);
  ReleaseSRWLockExclusive(&gFilesLock);
  return mapping.release();
}

void adoptWineFile(void* view) {
  AcquireSRWLockExclusive(&gFilesLock);
  WineFile pending = std::move(gFiles.get().pending);
  gFiles.get().pending = WineFile{};
  bool kept = false;
  if (view != nullptr && pending.file) {
    char marker[300];
    markerName(pending.objectName, marker, sizeof marker);
    pending.presence.reset(CreateEventA(nullptr, TRUE, FALSE, marker));
    for (WineFile& slot : gFiles.get().slots) {
      if (slot.view == nullptr) {
        slot = std::move(pending);
        slot.view = view;
        kept = true;
        break;
      }
    }
  }
  ReleaseSRWLockExclusive(&gFilesLock);
  // Without a view, or with no slot left, the file cannot be followed to
  // its release: let it go now.
  if (!kept && pending.file) letGo(pending);
}

void releaseWineFile(void* view) {
  if (view == nullptr) return;
  WineFile found;
  AcquireSRWLockExclusive(&gFilesLock);
  for (WineFile& slot : gFiles.get().slots) {
    if (slot.view == view) {
      found = std::move(slot);
      slot = WineFile{};
      break;
    }
  }
  ReleaseSRWLockExclusive(&gFilesLock);
  // Readers that still hold the mapping keep their memory; a file that
  // another host still uses stays for it.
  if (found.view != nullptr) letGo(found);
}

void releaseAllWineFiles() {
  WineFile held[sizeof gFiles.get().slots / sizeof gFiles.get().slots[0]];
  AcquireSRWLockExclusive(&gFilesLock);
  int count = 0;
  for (WineFile& slot : gFiles.get().slots) {
    if (slot.view == nullptr) continue;
    held[count++] = std::move(slot);
    slot = WineFile{};
  }
  ReleaseSRWLockExclusive(&gFilesLock);
  for (int i = 0; i < count; ++i) letGo(held[i]);
}

}  // namespace korvanel::platform
