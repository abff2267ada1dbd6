// POSIX stand-in for the Windows operations: enough to run the whole program
// on Linux and to replay a customer's decision from their config.ini and a
// registry export (VELSETUP_REGISTRY; VELSETUP_WOW64=0 for 32-bit Windows).
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/random.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/ini_file.h"
#include "platform/platform.h"
#include "platform/registry_export.h"

namespace platform {

const char kPathSeparator = '/';

namespace {

constexpr int32_t kErrorFileNotFound = 2;
constexpr int32_t kErrorMoreData = 234;
constexpr uint32_t kErrorSharingViolation = 32;

thread_local uint32_t t_last_error = 0;

bool SetError(uint32_t error) {
  t_last_error = error;
  return false;
}

// Reads a whole file; false if it cannot be opened or read.
bool ReadWholeFile(const char* path, std::string* out) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return false;
  }
  out->clear();
  out->reserve(static_cast<size_t>(st.st_size));
  char chunk[65536];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return false;
    }
    if (n == 0) break;
    out->append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

bool NoCaseEquals(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

bool SimulatesWow64() {
  const char* v = getenv("VELSETUP_WOW64");
  return !(v && strcmp(v, "0") == 0);
}

// Where the view selected by `access` keeps `sub_key` in an export: on 64-bit
// Windows a 32-bit program's view of SOFTWARE\X lies at SOFTWARE\WOW6432Node\X.
std::string ViewPath(const char* sub_key, uint32_t access) {
  std::string path(sub_key);
  if (!SimulatesWow64() || (access & kKeyWow64_64Key)) return path;
  const char kSoftware[] = "SOFTWARE";
  const size_t n = sizeof kSoftware - 1;
  if (path.size() >= n && strncasecmp(path.c_str(), kSoftware, n) == 0 && (path.size() == n || path[n] == '\\')) {
    std::string rest = path.substr(n);
    if (strncasecmp(rest.c_str(), "\\WOW6432Node", 12) != 0) path = "SOFTWARE\\WOW6432Node" + rest;
  }
  return path;
}

}  // namespace

struct RegistryKeyImpl {
  std::vector<RegistryValue> values;
};

uint32_t GetTempDirectory(uint32_t size, char* buffer) {
  const char* dir = getenv("TMPDIR");
  if (!dir || !*dir) dir = "/tmp";
  size_t n = strlen(dir);
  bool add_separator = dir[n - 1] != '/';
  size_t needed = n + (add_separator ? 1 : 0);
  if (needed + 1 > size) return static_cast<uint32_t>(needed + 1);
  memcpy(buffer, dir, n);
  if (add_separator) buffer[n] = '/';
  buffer[needed] = '\0';
  return static_cast<uint32_t>(needed);
}

uint32_t GetExecutablePath(char* buffer, uint32_t size) {
  if (size == 0) return 0;
  ssize_t n = readlink("/proc/self/exe", buffer, size);
  if (n <= 0) {
    buffer[0] = '\0';
    return 0;
  }
  if (static_cast<uint32_t>(n) >= size) {
    buffer[size - 1] = '\0';
    return size;
  }
  buffer[n] = '\0';
  return static_cast<uint32_t>(n);
}

bool IsLeadByte(uint8_t) { return false; }

uint16_t UpperDoubleByte(uint16_t unit) { return unit; }

uint32_t ReadProfileString(const char* section, const char* key, const char* default_value, char* buffer, uint32_t size,
                           const char* path) {
  if (size == 0) return 0;
  std::string bytes;
  std::string raw;
  if (ReadWholeFile(path, &bytes) && FindProfileValue(bytes, section, key, &raw)) {
    return CopyProfileValue(raw, buffer, size);
  }
  size_t n = strlen(default_value);
  if (n > size - 1) n = size - 1;
  memcpy(buffer, default_value, n);
  buffer[n] = '\0';
  return static_cast<uint32_t>(n);
}

int32_t OpenRegistryKey(const char* sub_key, uint32_t access, RegistryKey* key) {
  const char* file = getenv("VELSETUP_REGISTRY");
  std::string bytes;
  if (!file || !ReadWholeFile(file, &bytes)) return kErrorFileNotFound;
  auto* opened = new RegistryKeyImpl;
  if (!FindRegistryKey(bytes, ViewPath(sub_key, access), &opened->values)) {
    delete opened;
    return kErrorFileNotFound;
  }
  *key = opened;
  return 0;
}

int32_t QueryRegistryValue(RegistryKey key, const char* name, uint8_t* data, uint32_t* size) {
  for (const RegistryValue& value : key->values) {
    if (!NoCaseEquals(value.name.c_str(), name)) continue;
    uint32_t length = static_cast<uint32_t>(value.data.size());
    if (!data) {
      *size = length;
      return 0;
    }
    if (*size < length) {
      *size = length;
      return kErrorMoreData;
    }
    memcpy(data, value.data.data(), length);  // NOLINT(bugprone-not-null-terminated-result): raw value bytes
    *size = length;
    return 0;
  }
  return kErrorFileNotFound;
}

void CloseRegistryKey(RegistryKey key) { delete key; }

// The stand-in's kernel32 and its WOW64 entry point: any non-null marker.
static char g_kernel32_marker;
static char g_wow64_entry_marker;

void* GetLoadedModule(const char* module_name) {
  return NoCaseEquals(module_name, "kernel32.dll") ? &g_kernel32_marker : nullptr;
}

void* GetModuleEntryPoint(void* module, const char* name) {
  if (module != &g_kernel32_marker || strcmp(name, "GetSystemWow64DirectoryW") != 0) return nullptr;
  return &g_wow64_entry_marker;
}

uint32_t CallGetSystemWow64Directory(void* entry_point, uint16_t* buffer, uint32_t size) {
  if (entry_point != &g_wow64_entry_marker) return 0;
  if (!SimulatesWow64()) {
    t_last_error = kErrorCallNotImplemented;
    return 0;
  }
  static const char kDir[] = "C:\\Windows\\SysWOW64";
  const uint32_t n = sizeof kDir - 1;
  if (size <= n) return n + 1;
  for (uint32_t i = 0; i <= n; ++i) buffer[i] = static_cast<uint8_t>(kDir[i]);
  return n;
}

uint32_t GetLastSystemError() { return t_last_error; }

bool ToLocalTime(int64_t t, struct tm* out) {
  time_t value = static_cast<time_t>(t);
  return localtime_r(&value, out) != nullptr;
}

bool AppendTextToFile(const char* path, const char* text, size_t length) {
  // O_APPEND makes each write land at the end as one piece, whoever else
  // appends at the same time.
  int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return SetError(static_cast<uint32_t>(errno));
  while (length > 0) {
    ssize_t n = write(fd, text, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text += n;
    length -= static_cast<size_t>(n);
  }
  close(fd);
  return true;
}

bool DeleteFileAt(const char* path) {
  if (unlink(path) != 0) return SetError(static_cast<uint32_t>(errno));
  return true;
}

namespace {

// Copies the open `in` (of `size` bytes) into the open `out`: in the kernel,
// cloning where the file system can; sendfile where copy_file_range cannot.
bool CopyContents(int in, int out, off_t size, uint32_t* error) {
  off_t remaining = size;
  bool use_sendfile = false;
  while (remaining > 0) {
    ssize_t n = use_sendfile ? sendfile(out, in, nullptr, static_cast<size_t>(remaining))
                             : copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(remaining), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && !use_sendfile && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
      use_sendfile = true;
      continue;
    }
    if (n <= 0) {
      *error = n < 0 ? static_cast<uint32_t>(errno) : EIO;
      return false;
    }
    remaining -= n;
  }
  return true;
}

}  // namespace

bool CopyFileTo(const char* source, const char* target) {
  int in = open(source, O_RDONLY | O_CLOEXEC);
  if (in < 0) return SetError(static_cast<uint32_t>(errno));
  struct stat in_st;
  if (fstat(in, &in_st) != 0 || !S_ISREG(in_st.st_mode)) {
    uint32_t error = S_ISDIR(in_st.st_mode) ? EISDIR : static_cast<uint32_t>(errno);
    close(in);
    return SetError(error);
  }
  struct stat target_st;
  if (stat(target, &target_st) == 0 && target_st.st_dev == in_st.st_dev && target_st.st_ino == in_st.st_ino) {
    close(in);
    return SetError(kErrorSharingViolation);  // as CopyFileA fails on itself
  }
  std::string temp = std::string(target) + ".XXXXXX";
  int out = mkostemp(&temp[0], O_CLOEXEC);
  if (out < 0) {
    uint32_t error = static_cast<uint32_t>(errno);
    close(in);
    return SetError(error);
  }
  uint32_t error = 0;
  bool ok = CopyContents(in, out, in_st.st_size, &error);
  if (ok && fchmod(out, in_st.st_mode & 07777) != 0) {
    ok = false;
    error = static_cast<uint32_t>(errno);
  }
  if (close(out) != 0 && ok) {
    ok = false;
    error = static_cast<uint32_t>(errno);
  }
  close(in);
  if (ok && rename(temp.c_str(), target) != 0) {
    ok = false;
    error = static_cast<uint32_t>(errno);
  }
  if (!ok) {
    unlink(temp.c_str());
    return SetError(error);
  }
  return true;
}

bool SetNormalAttributes(const char* path) {
  // FILE_ATTRIBUTE_NORMAL clears read-only: give the owner write access.
  struct stat st;
  if (stat(path, &st) != 0 || chmod(path, (st.st_mode & 07777) | S_IWUSR) != 0) {
    return SetError(static_cast<uint32_t>(errno));
  }
  return true;
}

bool CreateDirectoryAt(const char* path) {
  if (mkdir(path, 0777) == 0) return true;
  uint32_t error = static_cast<uint32_t>(errno);
  struct stat st;
  if (error == EEXIST && stat(path, &st) == 0 && S_ISDIR(st.st_mode)) return true;
  return SetError(error);
}

bool CreatePrivateDirectory(const char* path) {
  if (mkdir(path, 0700) != 0) return SetError(static_cast<uint32_t>(errno));
  // Readable by all, writable by the owner (root when elevated) only.
  if (chmod(path, 0755) != 0) return SetError(static_cast<uint32_t>(errno));
  return true;
}

bool IsElevated() {
  const char* v = getenv("VELSETUP_ELEVATED");
  return v && strcmp(v, "1") == 0;
}

bool RandomBytes(uint8_t* buffer, size_t size) {
  while (size > 0) {
    ssize_t n = getrandom(buffer, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return SetError(static_cast<uint32_t>(errno));
    buffer += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool IsSameFile(const char* a, const char* b) {
  struct stat sa;
  struct stat sb;
  return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

namespace {

// Finds `name` on PATH; empty if absent.
std::string FindOnPath(const char* name) {
  const char* path = getenv("PATH");
  if (!path) return std::string();
  std::string dirs(path);
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return std::string();
}

}  // namespace

intptr_t ShellOpen(const char* path) {
  constexpr intptr_t kSuccess = 42;        // what ShellExecuteA gives on success
  constexpr intptr_t kNoAssociation = 31;  // SE_ERR_NOASSOC
  struct stat st;
  if (stat(path, &st) != 0) return errno == ENOENT ? 2 : 5;
  std::string program = path;
  std::string argument;
  if (!S_ISREG(st.st_mode) || access(path, X_OK) != 0) {
    program = FindOnPath("xdg-open");
    if (program.empty()) return kNoAssociation;
    argument = path;
  }
  char* argv[3] = {const_cast<char*>(program.c_str()), argument.empty() ? nullptr : const_cast<char*>(argument.c_str()),
                   nullptr};

  // A pipe that closes on a successful exec tells the exec's result.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return 0;
  pid_t child = fork();
  if (child < 0) {
    close(report[0]);
    close(report[1]);
    return 0;
  }
  if (child == 0) {
    // Detach: a new session, and a grandchild that init adopts at once, so
    // the installer outlives this program and leaves no zombie behind.
    setsid();
    pid_t grandchild = fork();
    if (grandchild == 0) {
      int null_fd = open("/dev/null", O_RDWR);
      if (null_fd >= 0) {
        dup2(null_fd, 0);
        dup2(null_fd, 1);
        dup2(null_fd, 2);
        if (null_fd > 2) close(null_fd);
      }
      execv(argv[0], argv);
      int error = errno;
      ssize_t ignored = write(report[1], &error, sizeof error);
      (void)ignored;
      _exit(127);
    }
    if (grandchild < 0) {
      int error = errno;
      ssize_t ignored = write(report[1], &error, sizeof error);
      (void)ignored;
    }
    _exit(0);
  }
  close(report[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t n;
  do {
    n = read(report[0], &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  close(report[0]);
  if (n == static_cast<ssize_t>(sizeof error)) {
    t_last_error = static_cast<uint32_t>(error);
    return error == ENOENT ? 2 : (error == EACCES || error == ETXTBSY) ? 5 : 0;
  }
  return kSuccess;
}

namespace {

struct ThreadStart {
  uint32_t (*procedure)(void*);
  void* parameter;
};

void* ThreadMain(void* raw) {
  ThreadStart start = *static_cast<ThreadStart*>(raw);
  delete static_cast<ThreadStart*>(raw);
  start.procedure(start.parameter);
  return nullptr;
}

}  // namespace

bool ScopedThread::Start(uint32_t (*procedure)(void*), void* parameter) {
  if (running_) return false;
  auto* start = new ThreadStart{procedure, parameter};
  pthread_t thread;
  if (pthread_create(&thread, nullptr, ThreadMain, start) != 0) {
    delete start;
    return false;
  }
  handle_ = static_cast<uintptr_t>(thread);
  running_ = true;
  return true;
}

void ScopedThread::Join() {
  if (!running_) return;
  pthread_join(static_cast<pthread_t>(handle_), nullptr);
  running_ = false;
  handle_ = 0;
}

}  // namespace platform
