// Helpers shared by the tests: scratch folders, files, and registry states
// written to whatever store the probes read on this platform.
#ifndef PATHWARDEN_TESTS_SUPPORT_TEST_SUPPORT_H_
#define PATHWARDEN_TESTS_SUPPORT_TEST_SUPPORT_H_

#include <stdint.h>

#include <string>
#include <vector>

namespace test {

// A fresh, empty folder for one test; its path ends with the separator.
// Every such folder is removed when the test ends, passed or failed.
//
// At the end of each test, processes it left running (the test installers
// the program started included: the test process adopts them on POSIX) are
// given a moment to end, then ended. A test that runs past
// PATHWARDEN_HANG_SECONDS (60 unless set) is reported as hung and ended,
// after the same cleanup.
std::string NewTempDir();

// The names in `dir` ("." and ".." left out), sorted; none if it cannot be read.
std::vector<std::string> ListDir(const std::string& dir);

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
bool FileExists(const std::string& path);

// `ascii` (bytes as Latin-1 characters) or `text` as UTF-16LE, with a
// byte-order mark in front if `bom`.
std::string Utf16Le(const std::string& ascii, bool bom);
std::string Utf16Le(const std::u16string& text, bool bom);

// The version number of `count` ones joined (1...1), computed independently
// of the code under test: 32-bit wrap-around included.
int32_t JoinedOnes(size_t count);

// The line end the log's text mode writes.
const char* LineEnd();

// Sets (or with null, removes) an environment variable of this process.
void SetEnv(const char* name, const char* value);

namespace internal {
// Per platform: remember a folder to remove; remove a folder with all it
// holds; wait for, then end, the processes a test left behind.
void RememberScratch(const std::string& dir);
void RemoveTree(const std::string& dir);
void EndStrayProcesses();
}  // namespace internal

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

// The records' vocabulary, for tests to take at once with
// `using namespace test::records;`.
inline namespace records {

// The views, and the four records' keys written out here rather than taken
// from the code under test, so that a wrong key path in the code fails.
const bool k64 = true;
const bool k32 = false;
const std::string kInstallation = "SOFTWARE\\Veltrano\\Veltrano Driver Installation";
const std::string kMsm = "SOFTWARE\\Veltrano\\Veltrano Driver MSM";
const std::string kFerrolink = "SOFTWARE\\Veltrano\\Ferrolink";
const std::string kPathwarden = "SOFTWARE\\Veltrano\\Pathwarden";

// One value in one view. For the string types `data` is the 8-bit text with
// its terminating zero(s), as RegQueryValueExA gives it back.
struct RegValue {
  bool view64;      // the 64-bit view; else the 32-bit programs' view
  std::string key;  // below HKEY_LOCAL_MACHINE
  std::string name;
  uint32_t type;
  std::string data;
};

// A string value "Version" = text in one view.
RegValue Version(bool view64, const std::string& key, const std::string& text);
// A "Version" value of any type with the given bytes.
RegValue TypedVersion(bool view64, const std::string& key, uint32_t type, const std::string& data);
// A key with no values at all.
RegValue EmptyKey(bool view64, const std::string& key);

// A table row: the records a machine holds, and the client and driver
// versions setup must read from them.
struct RecordsCase {
  const char* name;
  std::vector<RegValue> values;
  int32_t client;
  int32_t driver;
};

}  // namespace records

// Makes the registry hold exactly `values` below SOFTWARE\Veltrano, in both
// views, for the life of this object.
class RegistryState {
 public:
  explicit RegistryState(const std::vector<RegValue>& values);
  ~RegistryState();
  RegistryState(const RegistryState&) = delete;
  RegistryState& operator=(const RegistryState&) = delete;

 private:
  std::string file_;  // the export file on POSIX
};

}  // namespace test

#endif  // PATHWARDEN_TESTS_SUPPORT_TEST_SUPPORT_H_
