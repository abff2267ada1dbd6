// pathwarden-check: what a package brings, how its client number orders
// against earlier releases, and how setup decides on one machine. Every rule
// comes from logic/ (the same functions setup runs); this tool only gathers
// their inputs and reports what they gave.
#ifndef PATHWARDEN_TOOLS_CHECK_CHECK_H_
#define PATHWARDEN_TOOLS_CHECK_CHECK_H_

#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

#include "logic/probes.h"

namespace check {

// One value of config.ini as setup reads it.
struct ConfigValue {
  const char* section;
  const char* key;
  std::string text;
  int32_t number = 0;  // for the version values
};

struct PackageReport {
  std::string folder;       // absolute, ending with the separator
  std::string config_path;  // folder + config.ini
  bool config_exists = false;
  ConfigValue client;                  // [FL] version
  ConfigValue driver;                  // [driver] version
  ConfigValue installer;               // [FL] file
  const char* name_problem = nullptr;  // InstallerNameProblem's answer
  std::string refusal;                 // setup's line for it
  std::string installer_path;
  bool installer_exists = false;
  bool installer_is_file = false;
  int64_t installer_size = -1;
};

// One released client version in release order.
struct Release {
  std::string text;
  int32_t number = 0;
  int blocked_by = -1;         // an earlier release whose number is not lower, or -1
  bool installs_over = false;  // this package's client number is greater
};

// How setup decides on one machine.
struct Decision {
  std::string source;  // "registry export", "this machine", "installed texts"
  std::string source_name;
  bool wow64 = true;
  bool views = true;  // the records have views (false for recorded texts)
  logic::ClientProbe client;
  logic::DriverProbe driver;
  // The second client record read for the explanation only, when setup
  // stopped at the first: setup never asks for it.
  logic::VersionRecord unasked;
  std::string view_paths[4];  // where an export holds each record
  // Each record as the other view holds it (64-bit Windows only): a record
  // written to the wrong view is there, but setup never sees it.
  bool other_view_present[4] = {};
  std::string other_view_text[4];
  bool older = false;
  std::string client_line;
  std::string driver_line;
};

// The decision's four records in report order (the two client records, then
// the two driver records), as view_paths and other_view_* count them.
const logic::VersionRecord& RecordAt(const Decision& d, int index);

struct Report {
  PackageReport package;
  std::vector<Release> releases;
  bool has_decision = false;
  Decision decision;
  std::vector<std::string> problems;  // any of these makes the exit status 1
  std::vector<std::string> warnings;
};

// Reads PACKAGE_DIR as setup reads its own folder. False (with `*error`) if
// the folder cannot be named; problems go to `report`.
bool CheckPackage(const std::string& folder, Report* report, std::string* error);

// Orders `texts` (oldest first) and sets each against the package.
void CheckReleases(const std::vector<std::string>& texts, Report* report);

// The decision from registry exports (their bytes, and their names as given
// in `names`, one each): a key is read from the first export that holds it,
// so the two exports of a 64-bit Windows' views can be given as they are.
// False (with `*error`) when one is not an export: no decision is made then.
bool DecideFromExport(const std::vector<std::string>& exports, const std::vector<std::string>& names, bool wow64,
                      Report* report, std::string* error);
// The decision from the texts a machine recorded: the client's, then the
// driver installation's and the driver MSM's; an empty text is a missing record.
void DecideFromTexts(const std::vector<std::string>& texts, Report* report);
// The decision from this machine's registry (Windows only).
void DecideFromThisMachine(Report* report);

// Splits at commas; an empty input gives no items.
std::vector<std::string> SplitList(const std::string& text);

// Texts of the plain and the JSON report.
std::string PlainReport(const Report& report);
std::string JsonReport(const Report& report);

// `text` (in the ANSI code page) as a JSON string, in UTF-8.
std::string JsonString(const std::string& text);
void AppendJsonString(std::string_view text, std::string* out);

// `text` for a terminal: bytes it would take as commands (controls but the
// line end, DEL, C1 controls in UTF-8) shown as \xNN.
std::string TerminalText(const std::string& text);

}  // namespace check

#endif  // PATHWARDEN_TOOLS_CHECK_CHECK_H_
