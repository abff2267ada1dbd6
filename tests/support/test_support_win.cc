#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace test {

std::string NewTempDir() {
  char base[MAX_PATH + 1];
  DWORD n = GetTempPathA(MAX_PATH, base);
  if (n == 0 || n > MAX_PATH) ADD_FAILURE() << "no temporary directory";
  static unsigned counter = 0;
  for (;;) {
    char name[64];
    snprintf(name, sizeof name, "pathwarden-test-%lu-%u", GetCurrentProcessId(), ++counter);
    std::string dir = std::string(base) + name;
    if (CreateDirectoryA(dir.c_str(), nullptr)) {
      internal::RememberScratch(dir);
      return dir + "\\";
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
      ADD_FAILURE() << "cannot create " << dir;
      return dir + "\\";
    }
  }
}

namespace internal {

void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = dir + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(dir.c_str());
}

// The unit tests under Wine start no processes.
void EndStrayProcesses() {}

}  // namespace internal

void WriteBytes(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) {
    ADD_FAILURE() << "cannot write " << path;
    return;
  }
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

std::string ReadBytes(const std::string& path) {
  std::string out;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  fclose(f);
  return out;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

const char* LineEnd() { return "\r\n"; }

void SetEnv(const char* name, const char* value) {
  SetEnvironmentVariableA(name, value);
  std::string assignment = std::string(name) + "=" + (value ? value : "");
  _putenv(assignment.c_str());
}

namespace {

void DeleteVendorTree() {
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    HKEY software;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS | view, &software) == 0) {
      RegDeleteTreeA(software, "Veltrano");
      RegCloseKey(software);
    }
  }
}

}  // namespace

RegistryState::RegistryState(const std::vector<RegValue>& values) {
  DeleteVendorTree();
  for (const RegValue& v : values) {
    HKEY key;
    REGSAM view = v.view64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    LONG r = RegCreateKeyExA(HKEY_LOCAL_MACHINE, v.key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                             nullptr);
    if (r != 0) {
      ADD_FAILURE() << "cannot create key " << v.key << ": " << r;
      continue;
    }
    if (v.type != 0) {
      r = RegSetValueExA(key, v.name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                         static_cast<DWORD>(v.data.size()));
      if (r != 0) ADD_FAILURE() << "cannot set " << v.key << "\\" << v.name << ": " << r;
    }
    RegCloseKey(key);
  }
}

RegistryState::~RegistryState() { DeleteVendorTree(); }

}  // namespace test
