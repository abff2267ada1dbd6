#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace test {

std::string NewTempDir() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/pathwarden-test-XXXXXX";
  if (!mkdtemp(&pattern[0])) {
    ADD_FAILURE() << "mkdtemp failed for " << pattern;
  } else {
    internal::RememberScratch(pattern);
  }
  return pattern + "/";
}

namespace internal {

namespace {

// Installers the program starts are detached from it (their parent exits at
// once): this process adopts them, so that it can wait for them and end them.
[[maybe_unused]] const bool kAdoptsOrphans = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;

// The processes whose parent is this one.
std::vector<pid_t> Children() {
  std::vector<pid_t> children;
  DIR* proc = opendir("/proc");
  if (!proc) return children;
  const pid_t self = getpid();
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    long pid = strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end) continue;
    std::string stat = ReadBytes(std::string("/proc/") + entry->d_name + "/stat");
    // pid (name) state ppid ...: the name may hold anything but ends at the last ')'.
    size_t close = stat.rfind(')');
    int ppid = 0;
    char state = 0;
    if (close != std::string::npos && sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == self) {
      children.push_back(static_cast<pid_t>(pid));
    }
  }
  closedir(proc);
  return children;
}

int MakeWritable(const char* path, const struct stat* st, int type, struct FTW*) {
  if (type == FTW_D || type == FTW_DNR) chmod(path, (st->st_mode & 07777) | S_IRWXU);
  return 0;
}

int RemoveEntry(const char* path, const struct stat*, int type, struct FTW*) {
  if (type == FTW_DP) {
    rmdir(path);
  } else {
    unlink(path);
  }
  return 0;
}

}  // namespace

void EndStrayProcesses() {
  // Reap what has ended; give the rest two seconds, then end them.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (;;) {
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    std::vector<pid_t> children = Children();
    if (children.empty()) return;
    if (std::chrono::steady_clock::now() >= deadline) {
      for (pid_t child : children) kill(child, SIGKILL);
      for (pid_t child : children) waitpid(child, nullptr, 0);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void RemoveTree(const std::string& dir) {
  nftw(dir.c_str(), MakeWritable, 16, FTW_PHYS);
  nftw(dir.c_str(), RemoveEntry, 16, FTW_PHYS | FTW_DEPTH);
}

}  // namespace internal

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

const char* LineEnd() { return "\n"; }

void SetEnv(const char* name, const char* value) {
  if (value) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

namespace {

// "xx,xx,..." of the bytes, as a registry export writes hex data. (String
// data is widened to UTF-16LE first: the test texts are ASCII.)
std::string HexList(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(bytes[i]));
    if (i) out += ',';
    out += buf;
  }
  return out;
}

}  // namespace

RegistryState::RegistryState(const std::vector<RegValue>& values) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  for (const RegValue& v : values) {
    std::string key = v.key;
    if (!v.view64) key = "SOFTWARE\\WOW6432Node" + key.substr(8);
    text += "[HKEY_LOCAL_MACHINE\\" + key + "]\r\n";
    if (v.type == 0) continue;
    text += "\"" + v.name + "\"=";
    if (v.type == kRegDword) {
      uint32_t d = 0;
      for (size_t i = 0; i < 4 && i < v.data.size(); ++i)
        d |= uint32_t{static_cast<unsigned char>(v.data[i])} << (8 * i);
      char buf[16];
      snprintf(buf, sizeof buf, "dword:%08x", d);
      text += buf;
    } else {
      bool string_type = v.type == kRegSz || v.type == kRegExpandSz || v.type == kRegMultiSz;
      char prefix[16];
      snprintf(prefix, sizeof prefix, v.type == kRegBinary ? "hex:" : "hex(%x):", v.type);
      text += prefix + HexList(string_type ? Utf16Le(v.data, false) : v.data);
    }
    text += "\r\n\r\n";
  }
  file_ = NewTempDir() + "registry.reg";
  std::string bytes = Utf16Le(text, true);
  WriteBytes(file_, bytes);
  SetEnv("VELSETUP_REGISTRY", file_.c_str());
}

RegistryState::~RegistryState() {
  SetEnv("VELSETUP_REGISTRY", nullptr);
  unlink(file_.c_str());
}

}  // namespace test
