// The probes against a real registry: the Wine registry in the win64 run, a
// registry export through the stand-in on POSIX.
#include <gtest/gtest.h>

#include <vector>

#include "logic/probes.h"
#include "tests/support/test_support.h"

namespace {

using namespace test::records;  // NOLINT: the shared test vocabulary

TEST(Probes, ReadTheRecordsInTheirViews) {
  const std::string z(1, '\0');
  const std::vector<RecordsCase> cases = {
      {"no key at all", {}, 0, 0},
      {"driver texts 2.1.0 and 2.0.9", {Version(k64, kInstallation, "2.1.0"), Version(k32, kMsm, "2.0.9")}, 0, 210},
      {"driver texts 2.0.9 and 2.1.0", {Version(k64, kInstallation, "2.0.9"), Version(k32, kMsm, "2.1.0")}, 0, 210},
      {"driver texts 9.0 and 10.0 choose 9.0", {Version(k64, kInstallation, "9.0"), Version(k32, kMsm, "10.0")}, 0, 90},
      {"driver 1.0 and 1.0.5 choose the longer",
       {Version(k64, kInstallation, "1.0"), Version(k32, kMsm, "1.0.5")},
       0,
       105},
      {"only the MSM key", {Version(k32, kMsm, "1.0.5")}, 0, 105},
      {"only the installation key", {Version(k64, kInstallation, "3.0")}, 0, 30},
      {"client AP1.2.3", {Version(k32, kFerrolink, "AP1.2.3")}, 123, 0},
      {"client prefix not compared", {Version(k32, kFerrolink, "XY1.2.3")}, 123, 0},
      {"client of two bytes", {Version(k32, kFerrolink, "AP")}, 0, 0},
      {"client of one byte", {Version(k32, kFerrolink, "7")}, 0, 0},
      {"client of three bytes", {Version(k32, kFerrolink, "AP7")}, 7, 0},
      {"empty first client value stops the search",
       {Version(k32, kFerrolink, ""), Version(k64, kPathwarden, "AP9.9")},
       0,
       0},
      {"first client key without a value: second key read",
       {EmptyKey(k32, kFerrolink), Version(k64, kPathwarden, "AP4.5.6")},
       456,
       0},
      {"second client key alone", {Version(k64, kPathwarden, "AP2.0")}, 20, 0},
      {"first client key wins", {Version(k32, kFerrolink, "AP1.0"), Version(k64, kPathwarden, "AP2.0")}, 10, 0},
      // A record in the other view is not seen.
      {"Ferrolink in the 64-bit view only", {Version(k64, kFerrolink, "AP5.0")}, 0, 0},
      {"Pathwarden in the 32-bit view only", {Version(k32, kPathwarden, "AP5.0")}, 0, 0},
      {"installation key in the 32-bit view only", {Version(k32, kInstallation, "5.0")}, 0, 0},
      {"MSM key in the 64-bit view only", {Version(k64, kMsm, "5.0")}, 0, 0},
      // Values of other types give their bytes up to the first zero.
      {"DWORD value", {test::TypedVersion(k32, kFerrolink, test::kRegDword, "AP5" + z)}, 5, 0},
      {"DWORD driver value", {test::TypedVersion(k32, kMsm, test::kRegDword, std::string("1.2\0", 4))}, 0, 12},
      {"binary without a terminating zero", {test::TypedVersion(k32, kFerrolink, test::kRegBinary, "AP1.2")}, 12, 0},
      {"binary with an inner zero", {test::TypedVersion(k32, kFerrolink, test::kRegBinary, "AP3" + z + "99")}, 3, 0},
      {"multi-string", {test::TypedVersion(k32, kFerrolink, test::kRegMultiSz, "AP1.2" + z + "AP9" + z + z)}, 12, 0},
      {"expandable string", {test::TypedVersion(k32, kFerrolink, test::kRegExpandSz, "AP7.7" + z)}, 77, 0},
      {"empty driver value counts as 0.0.0", {Version(k64, kInstallation, ""), Version(k32, kMsm, "")}, 0, 0},
      {"64 KB client value", {Version(k32, kFerrolink, "AP" + std::string(65536, '1'))}, test::JoinedOnes(65536), 0},
      {"negative client", {Version(k32, kFerrolink, "AP-1.0")}, -10, 0},
  };
  for (const RecordsCase& c : cases) {
    test::RegistryState state(c.values);
    EXPECT_EQ(logic::GetLocalFLVersion(), c.client) << c.name;
    EXPECT_EQ(logic::GetLocalDriverVersion(), c.driver) << c.name;
  }
}

TEST(Probes, ReadVersionValueTellsAbsentFromPresent) {
  test::RegistryState state({EmptyKey(k32, kFerrolink), Version(k32, kMsm, "1.2")});
  std::string text = "unchanged";
  EXPECT_FALSE(logic::ReadVersionValue(kFerrolink.c_str(), logic::kAccessRead, &text)) << "key without value";
  EXPECT_EQ(text, "unchanged");
  EXPECT_FALSE(logic::ReadVersionValue(kPathwarden.c_str(), logic::kAccessRead64, &text)) << "absent key";
  EXPECT_EQ(text, "unchanged");
  EXPECT_TRUE(logic::ReadVersionValue(kMsm.c_str(), logic::kAccessRead, &text));
  EXPECT_EQ(text, "1.2");
}

// The probes' reports: which record was asked, which text was taken and
// which driver text chosen, read through a table instead of a registry.
struct Recorded {
  std::string key;
  uint32_t access;
  std::string text;
};

bool ReadRecorded(void* context, const char* key_path, uint32_t access, std::string* text) {
  for (const Recorded& r : *static_cast<const std::vector<Recorded>*>(context)) {
    if (r.key == key_path && r.access == access) {
      *text = r.text;
      return true;
    }
  }
  return false;
}

struct ReportCase {
  const char* name;
  std::vector<Recorded> records;
  bool wow64;
  int used;                 // client record taken
  bool second_asked;        // the Pathwarden record was asked for
  std::string client_text;  // after the two-character drop
  int32_t client_number;    // its digits joined
  std::string driver_chosen;
  int32_t driver_number;
};

TEST(Probes, ReportsSayWhichRecordAndWhichTextDecided) {
  const uint32_t r32 = logic::kAccessRead;
  const uint32_t r64 = logic::kAccessRead64;
  const std::vector<ReportCase> cases = {
      {"nothing recorded", {}, true, -1, true, "0.0.0", 0, "0.0.0", 0},
      {"two characters dropped from AP1.10.0",
       {{kFerrolink, r32, "AP1.10.0"}},
       true,
       0,
       false,
       "1.10.0",
       1100,
       "0.0.0",
       0},
      {"two characters dropped whatever they are",
       {{kFerrolink, r32, "1.10.0"}},
       true,
       0,
       false,
       "10.0",
       100,
       "0.0.0",
       0},
      {"empty first record stops the search",
       {{kFerrolink, r32, ""}, {kPathwarden, r64, "AP9"}},
       true,
       0,
       false,
       "0.0.0",
       0,
       "0.0.0",
       0},
      {"second record when the first is absent", {{kPathwarden, r64, "AP2.0"}}, true, 1, true, "2.0", 20, "0.0.0", 0},
      {"driver 9.0 against 10.0: 9.0 sorts last",
       {{kInstallation, r64, "10.0"}, {kMsm, r32, "9.0"}},
       true,
       -1,
       true,
       "0.0.0",
       0,
       "9.0",
       90},
      {"driver record in the 32-bit view on a 64-bit Windows is not the one asked",
       {{kInstallation, r32, "5.0"}},
       true,
       -1,
       true,
       "0.0.0",
       0,
       "0.0.0",
       0},
      {"32-bit Windows asks the installation record without the 64-bit flag",
       {{kInstallation, r32, "5.0"}},
       false,
       -1,
       true,
       "0.0.0",
       0,
       "5.0",
       50},
      {"equal texts: the first",
       {{kInstallation, r64, "1.0"}, {kMsm, r32, "1.0"}},
       true,
       -1,
       true,
       "0.0.0",
       0,
       "1.0",
       10},
  };
  for (const ReportCase& c : cases) {
    std::vector<Recorded> records = c.records;
    logic::ClientProbe client = logic::ProbeClientVersion(ReadRecorded, &records);
    logic::DriverProbe driver = logic::ProbeDriverVersion(c.wow64, ReadRecorded, &records);
    EXPECT_EQ(client.used, c.used) << c.name;
    EXPECT_EQ(client.records[1].consulted, c.second_asked) << c.name;
    EXPECT_EQ(client.text, c.client_text) << c.name;
    EXPECT_EQ(client.number, c.client_number) << c.name;
    EXPECT_EQ(driver.texts[driver.chosen], c.driver_chosen) << c.name;
    EXPECT_EQ(driver.number, c.driver_number) << c.name;
    // The system probes read the same records from the registry itself.
    std::vector<RegValue> values;
    for (const Recorded& r : c.records) {
      values.push_back(Version(r.access == r64 || !c.wow64, r.key, r.text));
    }
    if (!c.wow64) continue;  // the registry of this run has two views
    test::RegistryState state(values);
    EXPECT_EQ(logic::GetLocalFLVersion(), c.client_number) << c.name;
    EXPECT_EQ(logic::GetLocalDriverVersion(), c.driver_number) << c.name;
  }
}

TEST(Probes, IsWow64OnA64BitSystem) { EXPECT_TRUE(logic::IsWow64()); }

#ifndef _WIN32
TEST(Probes, Simulated32BitWindowsHasOneView) {
  test::SetEnv("VELSETUP_WOW64", "0");
  EXPECT_FALSE(logic::IsWow64());
  {
    // On 32-bit Windows the 64-bit flag changes nothing: every key is read
    // where it is, and nothing lives under WOW6432Node.
    test::RegistryState state({Version(k64, kInstallation, "2.0"), Version(k64, kPathwarden, "AP3.0")});
    EXPECT_EQ(logic::GetLocalDriverVersion(), 20);
    EXPECT_EQ(logic::GetLocalFLVersion(), 30);
  }
  {
    test::RegistryState state({Version(k32, kFerrolink, "AP3.0")});
    EXPECT_EQ(logic::GetLocalFLVersion(), 0) << "a WOW6432Node key is just another key there";
  }
  test::SetEnv("VELSETUP_WOW64", nullptr);
  EXPECT_TRUE(logic::IsWow64());
}
#endif

}  // namespace
