// The JSON report, for machines: the same facts as the plain one.
#include <algorithm>

#include "formats/ascii.h"
#include "formats/registry_access.h"
#include "platform/code_page.h"
#include "tools/check/check.h"

namespace check {
namespace {}  // namespace

// The tool's texts are in the ANSI code page, JSON is UTF-8. What does not
// convert (a binary registry value, say) is marked U+FFFD rather than
// guessed at; the plain report shows those bytes as they are.
void AppendJsonString(std::string_view text, std::string* out) {
  // Every ANSI code page keeps ASCII as it is: most texts need no conversion.
  const bool ascii =
      std::all_of(text.begin(), text.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x80; });
  const std::string utf8 = ascii ? std::string() : platform::AnsiToUtf8(text);
  if (!ascii) text = utf8;
  out->reserve(out->size() + text.size() + 2);
  out->push_back('"');
  size_t plain = 0;  // start of the bytes not yet copied, copied in one piece
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c != '"' && c != '\\' && c >= 0x20) continue;
    out->append(text.data() + plain, i - plain);
    plain = i + 1;
    if (c < 0x20) {
      out->append("\\u00");
      out->push_back(formats::HexDigit(c >> 4));
      out->push_back(formats::HexDigit(c));
    } else {
      out->push_back('\\');
      out->push_back(static_cast<char>(c));
    }
  }
  out->append(text.data() + plain, text.size() - plain);
  out->push_back('"');
}

std::string JsonString(const std::string& text) {
  std::string out;
  AppendJsonString(text, &out);
  return out;
}

namespace {

std::string Str(const std::string& text) { return JsonString(text); }

std::string Bool(bool b) { return b ? "true" : "false"; }
std::string Num(int64_t n) { return std::to_string(n); }

std::string Value(const ConfigValue& v, bool numbered) {
  std::string out = "{\"section\": " + Str(v.section) + ", \"key\": " + Str(v.key) + ", \"text\": " + Str(v.text);
  if (numbered) out += ", \"number\": " + Num(v.number);
  return out + "}";
}

std::string Record(const Decision& d, int index, bool paths) {
  const logic::VersionRecord& r = RecordAt(d, index);
  const std::string view_path = paths ? d.view_paths[index] : std::string();
  const logic::VersionRecord* unasked = index == 1 && d.unasked.key ? &d.unasked : nullptr;
  std::string out = "{\"key\": " + Str(r.key);
  if (d.views) out += ", \"view\": " + Str(formats::AsksFor64BitView(r.access) ? "64-bit" : "32-bit");
  if (!view_path.empty()) out += ", \"export_key\": " + Str(view_path);
  out += ", \"asked\": " + Bool(r.consulted);
  const logic::VersionRecord& shown = r.consulted || !unasked ? r : *unasked;
  out += ", \"present\": " + Bool(shown.present);
  if (shown.present) out += ", \"value\": " + Str(shown.text);
  if (d.other_view_present[index]) out += ", \"other_view_value\": " + Str(d.other_view_text[index]);
  return out + "}";
}

std::string List(const std::vector<std::string>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + Str(items[i]);
  return out + "]";
}

}  // namespace

std::string JsonReport(const Report& report) {
  const PackageReport& p = report.package;
  std::string out = "{\n  \"package\": {\"folder\": " + Str(p.folder) + ", \"config\": " + Str(p.config_path) +
                    ", \"config_exists\": " + Bool(p.config_exists) + ",\n    \"client\": " + Value(p.client, true) +
                    ",\n    \"driver\": " + Value(p.driver, true) +
                    ",\n    \"installer\": " + Value(p.installer, false);
  out += ",\n    \"installer_name_accepted\": " + Bool(!p.name_problem);
  if (p.name_problem) out += ", \"refusal\": " + Str(p.refusal);
  if (!p.name_problem) {
    out += ", \"installer_exists\": " + Bool(p.installer_exists) + ", \"installer_size\": " + Num(p.installer_size);
  }
  out += "},\n  \"releases\": [";
  for (size_t i = 0; i < report.releases.size(); ++i) {
    const Release& r = report.releases[i];
    out += std::string(i ? "," : "") + "\n    {\"text\": " + Str(r.text) + ", \"number\": " + Num(r.number) +
           ", \"installs_over\": " + Bool(r.installs_over);
    if (r.blocked_by >= 0) out += ", \"not_greater_than\": " + Str(report.releases[r.blocked_by].text);
    out += "}";
  }
  out += "],\n  \"warnings\": " + List(report.warnings) + ",\n  \"problems\": " + List(report.problems);
  if (report.has_decision) {
    const Decision& d = report.decision;
    const bool paths = d.views && !d.source_name.empty();
    out += ",\n  \"decision\": {\"source\": " + Str(d.source);
    if (!d.source_name.empty()) out += ", \"name\": " + Str(d.source_name);
    if (d.views) out += ", \"wow64\": " + Bool(d.wow64);
    out += ",\n    \"client\": {\"records\": [" + Record(d, 0, paths) + ", " + Record(d, 1, paths) +
           "], \"used\": " + Num(d.client.used) + ", \"text\": " + Str(d.client.text) +
           ", \"number\": " + Num(d.client.number) + "}";
    out += ",\n    \"driver\": {\"records\": [" + Record(d, 2, paths) + ", " + Record(d, 3, paths) + "], \"texts\": [" +
           Str(d.driver.texts[0]) + ", " + Str(d.driver.texts[1]) + "], \"chosen\": " + Num(d.driver.chosen) +
           ", \"number\": " + Num(d.driver.number) + "}";
    out += ",\n    \"install\": " + Bool(d.older) + ",\n    \"log\": " + List({d.client_line, d.driver_line}) + "}";
  }
  out += ",\n  \"ok\": " + Bool(report.problems.empty()) + "\n}\n";
  return out;
}

}  // namespace check
