// The plain report, for people: the package, the releases, the problems,
// then the decision line by line, ending with setup's two version lines.
#include "formats/ascii.h"
#include "formats/registry_access.h"
#include "logic/version.h"
#include "tools/check/check.h"

namespace check {
namespace {

constexpr size_t kShownBytes = 120;  // longer raw values are shown cut

// A text in quotes, other than printable ASCII shown as \xNN.
std::string Shown(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size() && i < kShownBytes; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += formats::HexDigit(c >> 4);
      out += formats::HexDigit(c);
    }
  }
  out += "\"";
  if (text.size() > kShownBytes) out += "... (" + std::to_string(text.size()) + " bytes)";
  return out;
}

std::string Number(int32_t n) { return std::to_string(n); }

std::string ViewName(const Decision& d, uint32_t access) {
  if (formats::AsksFor64BitView(access))
    return d.wow64 ? "64-bit view" : "the only view (KEY_WOW64_64KEY changes nothing)";
  return d.wow64 ? "32-bit view" : "the only view";
}

void Record(const Decision& d, const char* label, int index, std::string* out) {
  const logic::VersionRecord& r = RecordAt(d, index);
  const std::string view_path = d.views && !d.source_name.empty() ? d.view_paths[index] : std::string();
  *out += std::string("  ") + label + ": HKEY_LOCAL_MACHINE\\" + r.key;
  if (d.views) *out += ", " + ViewName(d, r.access);
  *out += "\n";
  if (!view_path.empty()) *out += "      in the export at HKEY_LOCAL_MACHINE\\" + view_path + "\n";
  if (!r.consulted) {
    *out += "      not asked: setup stops at the first client record that has a value";
    if (d.unasked.key) {
      *out += d.unasked.present ? " (it holds " + Shown(d.unasked.text) + ")" : std::string(" (it is absent too)");
    }
    *out += "\n";
    return;
  }
  *out += r.present ? "      present, Version = " + Shown(r.text) + "\n"
                    : std::string("      absent (no key, or no Version value)\n");
  if (!r.present && d.other_view_present[index]) {
    *out += "      but the other view holds Version = " + Shown(d.other_view_text[index]) +
            ": written to the wrong view, setup never sees it\n";
  }
}

void Decisions(const Report& report, std::string* out) {
  const Decision& d = report.decision;
  const PackageReport& p = report.package;
  *out += "Decision for " + d.source + (d.source_name.empty() ? "" : " " + d.source_name);
  if (d.views) *out += d.wow64 ? " (64-bit Windows: two views)" : " (32-bit Windows: one view)";
  *out += "\n";
  Record(d, "client record 1", 0, out);
  Record(d, "client record 2", 1, out);
  if (d.client.used < 0) {
    *out += "  client text: no record has a value: \"0.0.0\" -> " + Number(d.client.number) + "\n";
  } else {
    const std::string& raw = d.client.records[d.client.used].text;
    *out += "  client text: " + Shown(raw) + " from record " + Number(d.client.used + 1) +
            (raw.empty() ? " is empty: \"0.0.0\"" : " loses its first two characters: " + Shown(d.client.text)) +
            " -> " + Number(d.client.number) + "\n";
  }
  Record(d, "driver record 1", 2, out);
  Record(d, "driver record 2", 3, out);
  const int other = 1 - d.driver.chosen;
  *out += "  driver text: " + Shown(d.driver.texts[0]) + " and " + Shown(d.driver.texts[1]) +
          " compared as texts without regard to case: " + Shown(d.driver.texts[d.driver.chosen]) +
          (d.driver.texts[0] == d.driver.texts[1] ? " (equal)" : " sorts last") + " -> " + Number(d.driver.number) +
          "\n";
  const int32_t other_number = logic::ParseVersion(d.driver.texts[other].c_str());
  if (other_number > d.driver.number) {
    *out += "      note: the text not chosen has the higher number (" + Number(other_number) +
            "): texts compare character by character, so \"9.0\" sorts after \"10.0\"\n";
  }
  *out += "  client: installed " + Number(d.client.number) + (d.client.number < p.client.number ? " < " : " >= ") +
          "package " + Number(p.client.number) + "\n";
  *out += "  driver: installed " + Number(d.driver.number) + (d.driver.number < p.driver.number ? " < " : " >= ") +
          "package " + Number(p.driver.number) + "\n";
  *out += d.older ? "  decision: install (the machine is older)\n"
                  : "  decision: nothing to install (already the latest)\n";
  *out += d.client_line + "\n" + d.driver_line + "\n";
}

}  // namespace

std::string PlainReport(const Report& report) {
  const PackageReport& p = report.package;
  std::string out = "Package " + p.folder + "\n";
  out += "  config.ini: " + p.config_path + (p.config_exists ? "\n" : " (missing)\n");
  out += "  [FL] version: " + Shown(p.client.text) + " -> " + Number(p.client.number) + "\n";
  out += "  [driver] version: " + Shown(p.driver.text) + " -> " + Number(p.driver.number) + "\n";
  out += "  [FL] file: " + Shown(p.installer.text);
  if (p.name_problem) {
    out += " refused: " + std::string(p.name_problem) + "\n";
  } else if (!p.installer_exists) {
    out += " missing\n";
  } else if (!p.installer_is_file) {
    out += " is not a file\n";
  } else {
    out += ", " + std::to_string(p.installer_size) + " bytes\n";
  }
  if (!report.releases.empty()) {
    out += "Released client versions, oldest first: digits joined into one number\n";
    for (const Release& r : report.releases) {
      out += "  " + Shown(r.text) + " -> " + Number(r.number);
      if (r.blocked_by >= 0) out += "  not greater than " + Shown(report.releases[r.blocked_by].text);
      out += "\n";
    }
    std::string over;
    std::string not_over;
    for (const Release& r : report.releases) {
      std::string& list = r.installs_over ? over : not_over;
      list += (list.empty() ? "" : ", ") + r.text + " (" + Number(r.number) + ")";
    }
    out += "This package's client " + Shown(p.client.text) + " -> " + Number(p.client.number) + "\n";
    out += "  installs over: " + (over.empty() ? std::string("none") : over) + "\n";
    out += "  does not install over: " + (not_over.empty() ? std::string("none") : not_over) + "\n";
    out += "  (by the client number alone: an older installed driver still makes setup install)\n";
  }
  for (const std::string& w : report.warnings) out += "warning: " + w + "\n";
  for (const std::string& problem : report.problems) out += "problem: " + problem + "\n";
  out += report.problems.empty() ? "No problems.\n"
                                 : Number(static_cast<int32_t>(report.problems.size())) + " problem(s).\n";
  if (report.has_decision) Decisions(report, &out);
  return out;
}

}  // namespace check
