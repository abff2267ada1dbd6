#include "tools/check/check.h"

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>

#include "formats/registry_export.h"
#include "formats/registry_view.h"
#include "logic/config.h"
#include "logic/decision.h"
#include "logic/install.h"
#include "logic/version.h"
#include "platform/code_page.h"
#include "platform/system.h"

namespace check {
namespace {

struct FileFacts {
  bool exists = false;
  bool is_file = false;
  bool is_folder = false;
  int64_t size = -1;
};

// What a path names; sizes past 2 GiB included on Windows too.
FileFacts Examine(const std::string& path) {
  FileFacts facts;
#ifdef _WIN32
  struct _stat64 st;
  if (_stat64(path.c_str(), &st) != 0) return facts;
#else
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return facts;
#endif
  facts.exists = true;
  facts.is_file = S_ISREG(st.st_mode);
  facts.is_folder = S_ISDIR(st.st_mode);
  facts.size = static_cast<int64_t>(st.st_size);
  return facts;
}

// The folder as an absolute path ending with the separator: setup always
// names config.ini by a full path, and Windows' profile reader would look
// for a bare name in the Windows folder instead.
bool AbsoluteFolder(const std::string& folder, std::string* out) {
#ifdef _WIN32
  platform::PathBuffer buffer = {};
  if (!_fullpath(buffer, folder.c_str(), sizeof buffer - 1)) return false;
  out->assign(buffer);
#else
  char* resolved = realpath(folder.c_str(), nullptr);
  if (!resolved) return false;
  out->assign(resolved);
  free(resolved);  // NOLINT(cppcoreguidelines-no-malloc): realpath allocates with malloc
#endif
  if (!Examine(*out).is_folder) return false;
  if (out->empty() || ((*out)[out->size() - 1] != platform::kPathSeparator && (*out)[out->size() - 1] != '/')) {
    out->push_back(platform::kPathSeparator);
  }
  return true;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string Numbered(const std::string& text, int32_t number) {
  return Quoted(text) + " (" + std::to_string(number) + ")";
}

}  // namespace

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  if (text.empty()) return items;
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    items.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

bool CheckPackage(const std::string& folder, Report* report, std::string* error) {
  PackageReport& p = report->package;
  if (!AbsoluteFolder(folder, &p.folder)) {
    *error = "no such folder: " + folder;
    return false;
  }
  p.config_path = p.folder + logic::kConfigFileName;
  p.config_exists = Examine(p.config_path).is_file;

  // Read as setup reads them: one PackageConfig, the same sections and keys.
  logic::PackageConfig config(p.config_path);
  p.client = {logic::kClientSection, logic::kVersionKey, config.Read(logic::kClientSection, logic::kVersionKey)};
  p.client.number = logic::ParseVersion(p.client.text.c_str());
  p.driver = {logic::kDriverSection, logic::kVersionKey, config.Read(logic::kDriverSection, logic::kVersionKey)};
  p.driver.number = logic::ParseVersion(p.driver.text.c_str());
  bool inexact = false;
  p.installer = {logic::kClientSection, logic::kInstallerKey,
                 config.Read(logic::kClientSection, logic::kInstallerKey, &inexact)};

  if (!p.config_exists) {
    report->problems.push_back("no config.ini at " + p.config_path + ": setup reads every value as empty");
  }
  if (p.client.text.empty()) {
    report->problems.push_back("[FL] version is missing or empty: its number is 0, so setup installs over nothing");
  } else if (p.client.number <= 0) {
    report->problems.push_back("[FL] version " + Numbered(p.client.text, p.client.number) +
                               " is not above 0: setup installs it over nothing");
  }
  if (p.driver.text.empty()) {
    report->warnings.push_back(
        "[driver] version is missing or empty: its number is 0, so the driver never "
        "causes an install");
  }

  p.name_problem = logic::InstallerNameProblem(p.installer.text, inexact);
  if (p.name_problem) {
    p.refusal = logic::InstallerNameRefusal(p.installer.text, p.name_problem);
    report->problems.push_back("setup refuses the installer name: " + p.refusal);
    return true;
  }
  p.installer_path = p.folder + p.installer.text;
  const FileFacts installer = Examine(p.installer_path);
  p.installer_exists = installer.exists;
  p.installer_is_file = installer.is_file;
  if (p.installer_is_file) p.installer_size = installer.size;
  if (!p.installer_exists) {
    report->problems.push_back("the installer " + p.installer_path + " does not exist");
  } else if (!p.installer_is_file) {
    report->problems.push_back("the installer " + p.installer_path + " is not a file");
  } else if (p.installer_size == 0) {
    report->problems.push_back("the installer " + p.installer_path + " is empty");
  }
  return true;
}

void CheckReleases(const std::vector<std::string>& texts, Report* report) {
  const PackageReport& p = report->package;
  std::vector<Release>& releases = report->releases;
  // The releases greater than all before them, in order: the earliest
  // release not below a number is the first of these not below it.
  std::vector<int> records;
  for (const std::string& text : texts) {
    Release r;
    r.text = text;
    r.number = logic::ParseVersion(text.c_str());
    // The earliest release this one does not exceed: a machine that has it
    // never gets this one.
    const auto first =
        std::partition_point(records.begin(), records.end(), [&](int i) { return releases[i].number < r.number; });
    if (first != records.end()) r.blocked_by = *first;
    if (records.empty() || releases[records.back()].number < r.number) {
      records.push_back(static_cast<int>(releases.size()));
    }
    r.installs_over = r.number < p.client.number;
    releases.push_back(r);
  }
  for (const Release& r : releases) {
    if (r.blocked_by >= 0) {
      const Release& earlier = releases[r.blocked_by];
      report->warnings.push_back("release " + Numbered(r.text, r.number) + " is not greater than the earlier " +
                                 Numbered(earlier.text, earlier.number) + ": a machine with " + earlier.text +
                                 " never gets " + r.text);
    }
    if (!r.installs_over && r.text != p.client.text) {
      report->problems.push_back("this package's client " + Numbered(p.client.text, p.client.number) +
                                 " would not install over the earlier release " + Numbered(r.text, r.number));
    }
  }
}

const logic::VersionRecord& RecordAt(const Decision& d, int index) {
  return index < 2 ? d.client.records[index] : d.driver.records[index - 2];
}

namespace {

void Finish(Report* report) {
  Decision& d = report->decision;
  const PackageReport& p = report->package;
  d.older = logic::MachineIsOlder(d.client.number, p.client.number, d.driver.number, p.driver.number);
  d.client_line = logic::ClientVersionLine(d.client.number, p.client.number);
  d.driver_line = logic::DriverVersionLine(d.driver.number, p.driver.number);
  report->has_decision = true;
}

// The rule stops at the first client record with a value; the explanation
// still says what the second one holds.
void ReadUnasked(logic::VersionReader read, void* context, Decision* d) {
  logic::VersionRecord& second = d->client.records[1];
  if (second.consulted) return;
  d->unasked = second;
  d->unasked.present = read(context, second.key, second.access, &d->unasked.text);
}

// Where a record not found in its view went: the same key in the other view.
void ReadOtherViews(logic::VersionReader read, void* context, Decision* d) {
  if (!d->wow64) return;
  for (int i = 0; i < 4; ++i) {
    const logic::VersionRecord& r = RecordAt(*d, i);
    const uint32_t other = r.access == logic::kAccessRead64 ? logic::kAccessRead : logic::kAccessRead64;
    d->other_view_present[i] = read(context, r.key, other, &d->other_view_text[i]);
  }
}

struct ExportRegistry {
  std::vector<formats::RegistryExport> exports;  // each read once
  bool wow64 = true;
};

// ReadVersionValue's contract over exports, through the stand-in's reader.
bool ReadExportVersion(void* context, const char* key_path, uint32_t access, std::string* text) {
  const auto* registry = static_cast<const ExportRegistry*>(context);
  const std::string path = formats::ViewPath(key_path, access, registry->wow64);
  std::vector<formats::RegistryValue> values;
  bool found = false;
  for (size_t i = 0; i < registry->exports.size() && !found; ++i) found = registry->exports[i].FindKey(path, &values);
  if (!found) return false;
  const formats::RegistryValue* value = formats::FindNamedValue(values, logic::kVersionValueName);
  if (!value) return false;
  std::string data = value->data;
  logic::CutAtFirstZero(&data);
  *text = data;
  return true;
}

struct RecordedTexts {
  std::vector<std::string> texts;  // client, driver installation, driver MSM
};

bool ReadRecordedText(void* context, const char* key_path, uint32_t, std::string* text) {
  const auto* recorded = static_cast<const RecordedTexts*>(context);
  const char* const keys[] = {logic::kFerrolinkKey, logic::kDriverInstallationKey, logic::kDriverMsmKey};
  for (size_t i = 0; i < 3; ++i) {
    if (strcmp(key_path, keys[i]) != 0) continue;
    if (i >= recorded->texts.size() || recorded->texts[i].empty()) return false;
    *text = recorded->texts[i];
    return true;
  }
  return false;
}

// Why `bytes` are not an export, for the reader of the error.
std::string NotAnExport(const std::string& bytes) {
  if (bytes.empty()) return "it is empty";
  // "Wi" or "RE" of a header written as UTF-16 without its mark.
  if (bytes.size() >= 4 && bytes[1] == '\0' && bytes[3] == '\0' && bytes[0] != '\0') {
    return "it looks like UTF-16 without its byte-order mark; regedit does not read such a file either. Export it "
           "again with regedit /e, or save it as Unicode or UTF-8";
  }
  return "it does not begin with \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"";
}

}  // namespace

bool DecideFromExport(const std::vector<std::string>& exports, const std::vector<std::string>& names, bool wow64,
                      Report* report, std::string* error) {
  ExportRegistry registry;
  registry.wow64 = wow64;
  registry.exports.resize(exports.size());
  std::vector<formats::RegistryValue> ignored;
  for (size_t i = 0; i < exports.size(); ++i) {
    if (!registry.exports[i].Read(exports[i], platform::AppendUtf16AsAnsi)) {
      *error = "cannot read " + names[i] + " as a registry export: " + NotAnExport(exports[i]);
      return false;
    }
  }
  Decision& d = report->decision;
  d.source = exports.size() > 1 ? "registry exports" : "registry export";
  for (size_t i = 0; i < names.size(); ++i) d.source_name += (i ? " and " : "") + names[i];
  d.wow64 = wow64;
  d.client = logic::ProbeClientVersion(ReadExportVersion, &registry);
  d.driver = logic::ProbeDriverVersion(wow64, ReadExportVersion, &registry);
  ReadUnasked(ReadExportVersion, &registry, &d);
  ReadOtherViews(ReadExportVersion, &registry, &d);
  for (int i = 0; i < 4; ++i) d.view_paths[i] = formats::ViewPath(RecordAt(d, i).key, RecordAt(d, i).access, wow64);
  for (size_t i = 0; i < exports.size(); ++i) {
    if (registry.exports[i].FindKey("SOFTWARE", &ignored)) continue;
    report->warnings.push_back("export " + std::to_string(i + 1) +
                               " holds no key below HKEY_LOCAL_MACHINE\\SOFTWARE: an export of another branch");
  }
  Finish(report);
  return true;
}

void DecideFromTexts(const std::vector<std::string>& texts, Report* report) {
  Decision& d = report->decision;
  d.source = "installed texts";
  d.views = false;
  RecordedTexts recorded{texts};
  d.client = logic::ProbeClientVersion(ReadRecordedText, &recorded);
  d.driver = logic::ProbeDriverVersion(true, ReadRecordedText, &recorded);
  Finish(report);
}

void DecideFromThisMachine(Report* report) {
  Decision& d = report->decision;
  d.source = "this machine";
  d.wow64 = logic::IsWow64();
  d.client = logic::ProbeClientVersion(logic::ReadSystemVersionValue, nullptr);
  d.driver = logic::ProbeDriverVersion(d.wow64, logic::ReadSystemVersionValue, nullptr);
  ReadUnasked(logic::ReadSystemVersionValue, nullptr, &d);
  ReadOtherViews(logic::ReadSystemVersionValue, nullptr, &d);
  Finish(report);
}

}  // namespace check
