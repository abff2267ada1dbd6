#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace test {

std::string NewTempDir() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/pathwarden-test-XXXXXX";
  if (!mkdtemp(&pattern[0])) ADD_FAILURE() << "mkdtemp failed for " << pattern;
  return pattern + "/";
}

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
