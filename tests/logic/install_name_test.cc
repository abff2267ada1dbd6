#include <gtest/gtest.h>

#include "logic/install.h"

namespace {

TEST(InstallerName, OnlyRelativeNamesInsideThePackageAreUsed) {
  struct Case {
    const char* name;
    bool usable;
  };
  const Case cases[] = {
      {"client.msi", true},
      {"sub\\client.exe", true},
      {"sub/client.exe", true},
      {"a..b.exe", true},
      {"..exe", true},
      {".\\client.exe", true},
      {"", false},
      {"\\client.exe", false},
      {"/etc/passwd", false},
      {"\\\\server\\share\\x.exe", false},
      {"//server/share/x.exe", false},
      {"C:\\Windows\\notepad.exe", false},
      {"C:client.exe", false},
      {"client.exe:stream", false},
      {"..", false},
      {"..\\client.exe", false},
      {"sub\\..\\..\\client.exe", false},
      {"sub/../x.exe", false},
      {"sub\\..", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InstallerNameProblem(c.name) == nullptr, c.usable) << "installer name \"" << c.name << "\"";
  }
}

}  // namespace
