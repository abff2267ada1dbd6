#include <gtest/gtest.h>

#include "logic/install.h"
#include "logic/staging.h"
#include "platform/system.h"

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
      {"NUL", false},
      {"con", false},
      {"aux.exe", false},
      {"nul.txt", false},
      {"Nul .txt", false},
      {"prn.tar.gz", false},
      {"COM1", false},
      {"lpt9.msi", false},
      {"com\xB9.exe", false},
      {"CONIN$", false},
      {"conout$.exe", false},
      {"con\\client.exe", false},
      {"sub/aux/client.exe", false},
      {"client.exe.", false},
      {"client.exe ", false},
      {"sub.\\client.exe", false},
      {"sub \\client.exe", false},
      {"...", false},
      {"console.exe", true},
      {"nullsoft.exe", true},
      {"com10.exe", true},
      {"com0.exe", true},
      {"lpt.exe", true},
      {"auxiliary\\client.exe", true},
      {"my con.exe", true},
      {".hidden.exe", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(logic::InstallerNameProblem(c.name) == nullptr, c.usable) << "installer name \"" << c.name << "\"";
  }
}

}  // namespace

namespace {

TEST(StagingDirectory, PrivateSubfolderOnlyWhenElevated) {
  struct Case {
    const char* temp;
    bool elevated;
    std::string expected;
  };
  const std::string sep(1, platform::kPathSeparator);
  const Case cases[] = {
      {"T"
       "/",
       false, "T/"},
      {"C:\\Users\\me\\AppData\\Local\\Temp\\", false, "C:\\Users\\me\\AppData\\Local\\Temp\\"},
      {"T/", true, "T/pathwarden-0123456789abcdef" + sep},
      {"C:\\Windows\\Temp\\", true, "C:\\Windows\\Temp\\pathwarden-0123456789abcdef" + sep},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(logic::StagingDirectory(c.temp, c.elevated, "0123456789abcdef"), c.expected)
        << c.temp << (c.elevated ? " elevated" : " not elevated");
  }
}

}  // namespace
