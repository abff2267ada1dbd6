// pathwarden-check: the command line. See Usage below and docs/guide.md.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/entry_kind.h"
#include "platform/staging_tree.h"
#include "platform/system.h"
#include "tools/check/check.h"
#include "tools/check/log_runs.h"

namespace {

const char kUsage[] =
    "Usage: pathwarden-check [OPTIONS] PACKAGE_DIR\n"
    "       pathwarden-check --log [--json] LOG_OR_FOLDER...\n"
    "\n"
    "Checks a package folder with setup's own rules: config.ini read as setup reads it,\n"
    "the three values and their numbers, the installer's name, presence and size.\n"
    "\n"
    "  --released V1,V2,...    earlier released client versions, oldest first: warns where\n"
    "                          a later number is not greater, says which this package\n"
    "                          installs over\n"
    "  --released-file FILE    the same, one version a line\n"
    "  --installed CLIENT[,DRIVER[,DRIVER_MSM]]\n"
    "                          the decision for texts a machine recorded: CLIENT as the\n"
    "                          registry holds it, with its two-character prefix (AP2.0.5);\n"
    "                          DRIVER from Veltrano Driver Installation, DRIVER_MSM from\n"
    "                          Veltrano Driver MSM; an empty or left-out text is a missing record\n"
    "  --registry FILE         the decision for a machine from its regedit export; give it\n"
    "                          twice for the exports of the two views of a 64-bit Windows\n"
    "  --wow64=0               with --registry: the export is of a 32-bit Windows (one\n"
    "                          registry view); the default is a 64-bit Windows\n"
    "  --this-machine          the decision for this machine's registry (Windows only)\n"
    "  --log                   explain velsetup.log files instead (files, or folders of them,\n"
    "                          searched below): each run, and a summary of all of them\n"
    "  --json                  the report as JSON\n"
    "  -h, --help              this text\n"
    "\n"
    "The decision ends with the two version lines setup logs for the same state.\n"
    "Exit status: 0 no problem; 1 a problem with the package, or an earlier release it\n"
    "would not install over; 2 a usage error or input that cannot be read. The decision\n"
    "(install or not) does not change the exit status. With --log: 0 when every log was\n"
    "read, whatever the runs did; 2 when one cannot be read.\n";

// Writes all of `text`; false when the stream takes less.
bool Emit(FILE* stream, const std::string& text) { return fwrite(text.data(), 1, text.size(), stream) == text.size(); }

int Fail(const std::string& message) {
  Emit(stderr, "pathwarden-check: " + message + "\n");
  return 2;
}

int UsageError(const std::string& message) { return Fail(message + "\n" + kUsage); }

bool ReadFile(const std::string& path, std::string* bytes) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  char buffer[65536];
  size_t n = 0;
  bytes->clear();
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes->append(buffer, n);
  const bool ok = ferror(f) == 0;
  return fclose(f) == 0 && ok;
}

// One version a line; line ends LF or CRLF; blank lines are skipped.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line[line.size() - 1] == '\r') line.resize(line.size() - 1);
    if (line.find_first_not_of(" \t") != std::string::npos) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

struct LogFiles {
  std::vector<std::string> found;
  std::string folder;
  int depth = 0;
};

// The files below `path` (the path itself when it is a file), sorted by name.
bool FindLogs(const std::string& path, int depth, std::vector<std::string>* found) {
  const platform::EntryKind kind = platform::GetEntryKind(path.c_str());
  if (kind == platform::EntryKind::kFile) {
    found->push_back(path);
    return true;
  }
  if (kind != platform::EntryKind::kDirectory || depth > 8) return false;
  LogFiles files;
  files.folder = path.empty() || path.back() == '/' || path.back() == platform::kPathSeparator
                     ? path
                     : path + platform::kPathSeparator;
  if (!platform::ListDirectory(
          path.c_str(),
          [](void* context, const char* name) {
            auto* f = static_cast<LogFiles*>(context);
            f->found.push_back(f->folder + name);
          },
          &files)) {
    return false;
  }
  std::sort(files.found.begin(), files.found.end());
  for (const std::string& entry : files.found) {
    // Links and other entries are passed over, never followed.
    const platform::EntryKind entry_kind = platform::GetEntryKind(entry.c_str());
    if (entry_kind == platform::EntryKind::kDirectory) {
      if (!FindLogs(entry, depth + 1, found)) return false;
    } else if (entry_kind == platform::EntryKind::kFile) {
      found->push_back(entry);
    }
  }
  return true;
}

int ExplainLogs(const std::vector<std::string>& paths, bool json) {
  if (paths.empty()) return UsageError("--log needs a log file or a folder of them");
  std::vector<std::string> files;
  for (const std::string& path : paths) {
    if (!FindLogs(path, 0, &files)) return Fail("cannot read " + path);
  }
  std::vector<check::LogRun> runs;
  std::string bytes;
  for (const std::string& file : files) {
    if (!ReadFile(file, &bytes)) return Fail("cannot read " + file);
    check::ReadLogRuns(file, bytes, &runs);
  }
  const std::string text = json ? check::JsonLogReport(runs) : check::PlainLogReport(runs);
  if (!Emit(stdout, text) || fflush(stdout) != 0) return 2;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder;
  std::string released;
  std::string released_file;
  std::string installed;
  std::vector<std::string> registries;
  bool has_released = false;
  bool has_installed = false;
  bool this_machine = false;
  bool wow64 = true;
  bool json = false;
  bool logs = false;
  std::vector<std::string> paths;
  int machines = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "-h" || arg == "--help") return Emit(stdout, kUsage) ? 0 : 2;
    if (arg == "--json") {
      json = true;
    } else if (arg == "--log") {
      logs = true;
    } else if (arg == "--released" && has_value) {
      released = argv[++i];
      has_released = true;
    } else if (arg == "--released-file" && has_value) {
      released_file = argv[++i];
    } else if (arg == "--installed" && has_value) {
      installed = argv[++i];
      has_installed = true;
      ++machines;
    } else if (arg == "--registry" && has_value) {
      if (registries.empty()) ++machines;
      registries.push_back(argv[++i]);
    } else if (arg == "--wow64=0" || arg == "--wow64=1") {
      wow64 = arg == "--wow64=1";
    } else if (arg == "--this-machine") {
      this_machine = true;
      ++machines;
    } else if (!arg.empty() && arg[0] == '-') {
      return UsageError("unknown option or missing value: " + arg);
    } else if (logs) {
      paths.push_back(arg);
    } else if (folder.empty()) {
      folder = arg;
    } else {
      return UsageError("one package folder only");
    }
  }
  if (logs) {
    if (!folder.empty() || machines > 0 || has_released || !released_file.empty()) {
      return UsageError("--log takes log files and folders only, and --json");
    }
    return ExplainLogs(paths, json);
  }
  if (folder.empty()) return UsageError("no package folder");
  if (machines > 1) return UsageError("one of --installed, --registry, --this-machine");
  if (has_released && !released_file.empty()) return UsageError("--released or --released-file, not both");
#ifndef _WIN32
  if (this_machine) return UsageError("--this-machine reads the Windows registry: use --registry with an export");
#endif

  check::Report report;
  std::string error;
  if (!check::CheckPackage(folder, &report, &error)) return Fail(error);
  std::vector<std::string> releases = check::SplitList(released);
  if (!released_file.empty()) {
    std::string text;
    if (!ReadFile(released_file, &text)) return Fail("cannot read " + released_file);
    releases = Lines(text);
  }
  if (!releases.empty()) check::CheckReleases(releases, &report);

  if (!registries.empty()) {
    std::vector<std::string> exports(registries.size());
    for (size_t i = 0; i < registries.size(); ++i) {
      if (!ReadFile(registries[i], &exports[i])) return Fail("cannot read " + registries[i]);
    }
    if (!check::DecideFromExport(exports, registries, wow64, &report, &error)) return Fail(error);
  } else if (has_installed) {
    check::DecideFromTexts(check::SplitList(installed), &report);
  } else if (this_machine) {
    check::DecideFromThisMachine(&report);
  }

  const std::string text = json ? check::JsonReport(report) : check::PlainReport(report);
  // A report that did not reach its reader must not pass a pipeline.
  if (!Emit(stdout, text) || fflush(stdout) != 0) return 2;
  return report.problems.empty() ? 0 : 1;
}
