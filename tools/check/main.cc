// pathwarden-check: the command line. See Usage below and docs/guide.md.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tools/check/check.h"
#include "tools/check/log_fleet.h"

namespace {

const char kUsage[] =
    "Usage: pathwarden-check [OPTIONS] PACKAGE_DIR\n"
    "       pathwarden-check --log [--json | --jsonl] [--runs] [--all] LOG_OR_FOLDER...\n"
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
    "  --code-page N           with --registry: the machine's ANSI code page (its ACP),\n"
    "                          1252 by default: setup reads the registry's texts in it.\n"
    "                          Tables: 1252, 932, 65001; for another N a text beyond ASCII\n"
    "                          gives no decision (\"depends on the code page\")\n"
    "  --this-machine          the decision for this machine's registry (Windows only)\n"
    "  --log                   explain velsetup.log files instead (files, or folders of them,\n"
    "                          searched below at any depth): a summary of all runs first,\n"
    "                          then each run of a single log\n"
    "  --runs                  with --log: each run's details for many logs too\n"
    "  --all                   with --log: every machine behind each cause, not the first 5\n"
    "  --json                  the report as JSON\n"
    "  --jsonl                 with --log: JSON lines, one per run and input not read, then\n"
    "                          the summary, written as the logs are read\n"
    "  -h, --help              this text\n"
    "\n"
    "The decision ends with the two version lines setup logs for the same state.\n"
    "Exit status: 0 no problem; 1 a problem with the package, or an earlier release it\n"
    "would not install over; 2 a usage error or input that cannot be read. The decision\n"
    "(install or not) does not change the exit status. With --log: 0 when every input was\n"
    "read, whatever the runs did; 1 when some could not be (each is named, the rest are\n"
    "explained); 2 when none could be. No input larger than 256 MiB is read.\n";

// A code page number: decimal digits, 1 to 65535.
bool ParseCodePage(const std::string& text, uint32_t* code_page) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const unsigned long n = strtoul(text.c_str(), nullptr, 10);
  if (n < 1 || n > 65535) return false;
  *code_page = static_cast<uint32_t>(n);
  return true;
}

// Writes all of `text`; false when the stream takes less.
bool Emit(FILE* stream, const std::string& text) { return fwrite(text.data(), 1, text.size(), stream) == text.size(); }

int Fail(const std::string& message) {
  Emit(stderr, "pathwarden-check: " + message + "\n");
  return 2;
}

int UsageError(const std::string& message) { return Fail(message + "\n" + kUsage); }

// The input's bytes; otherwise the exit status 2, with why not.
bool ReadFile(const std::string& path, std::string* bytes, int* status) {
  std::string why;
  if (check::ReadInput(path, bytes, &why)) return true;
  *status = Fail("cannot read " + path + ": " + why);
  return false;
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
  uint32_t code_page = check::kDefaultCodePage;
  bool has_code_page = false;
  bool json = false;
  bool logs = false;
  check::LogOptions log_options;
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
    } else if (arg == "--jsonl") {
      log_options.format = check::LogFormat::kJsonLines;
    } else if (arg == "--runs") {
      log_options.runs = true;
    } else if (arg == "--all") {
      log_options.all = true;
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
    } else if (arg == "--code-page" && has_value) {
      if (!ParseCodePage(argv[++i], &code_page)) return UsageError("--code-page takes a number from 1 to 65535");
      has_code_page = true;
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
    if (!folder.empty() || machines > 0 || has_released || !released_file.empty() || has_code_page) {
      return UsageError("--log takes log files and folders only, and --json, --jsonl, --runs, --all");
    }
    if (paths.empty()) return UsageError("--log needs a log file or a folder of them");
    if (json && log_options.format == check::LogFormat::kJsonLines) return UsageError("--json or --jsonl, not both");
    if (json) log_options.format = check::LogFormat::kJson;
    return check::ExplainLogs(paths, log_options, stdout);
  }
  if (log_options.format != check::LogFormat::kPlain || log_options.runs || log_options.all) {
    return UsageError("--jsonl, --runs and --all go with --log");
  }
  if (folder.empty()) return UsageError("no package folder");
  if (machines > 1) return UsageError("one of --installed, --registry, --this-machine");
  if (has_released && !released_file.empty()) return UsageError("--released or --released-file, not both");
  if (has_code_page && registries.empty()) return UsageError("--code-page goes with --registry");
#ifndef _WIN32
  if (this_machine) return UsageError("--this-machine reads the Windows registry: use --registry with an export");
#endif

  check::Report report;
  std::string error;
  if (!check::CheckPackage(folder, &report, &error)) return Fail(error);
  std::vector<std::string> releases = check::SplitList(released);
  if (!released_file.empty()) {
    std::string text;
    int status = 0;
    if (!ReadFile(released_file, &text, &status)) return status;
    releases = Lines(text);
  }
  if (!releases.empty()) check::CheckReleases(releases, &report);

  if (!registries.empty()) {
    std::vector<std::string> exports(registries.size());
    for (size_t i = 0; i < registries.size(); ++i) {
      int status = 0;
      if (!ReadFile(registries[i], &exports[i], &status)) return status;
    }
    if (!check::DecideFromExport(exports, registries, wow64, code_page, &report, &error)) return Fail(error);
  } else if (has_installed) {
    check::DecideFromTexts(check::SplitList(installed), &report);
  } else if (this_machine) {
    check::DecideFromThisMachine(&report);
  }

  const std::string text = json ? check::JsonReport(report) : check::TerminalText(check::PlainReport(report));
  // A report that did not reach its reader must not pass a pipeline.
  if (!Emit(stdout, text) || fflush(stdout) != 0) return 2;
  return report.problems.empty() ? 0 : 1;
}
