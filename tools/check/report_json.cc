// The JSON report, for machines: the same facts as the plain one.
#include <algorithm>

#include "formats/ascii.h"
#include "formats/registry_access.h"
#include "platform/code_page.h"
#include "tools/check/check.h"
#include "tools/check/json_writer.h"

namespace check {

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

void Value(const ConfigValue& v, bool numbered, JsonWriter* w) {
  w->Open().Name("section").Text(v.section).Name("key").Text(v.key).Name("text").Text(v.text);
  if (numbered) w->Name("number").Number(v.number);
  w->Close();
}

void Record(const Decision& d, int index, bool paths, JsonWriter* w) {
  const logic::VersionRecord& r = RecordAt(d, index);
  const std::string view_path = paths ? d.view_paths[index] : std::string();
  const logic::VersionRecord* unasked = index == 1 && d.unasked.key ? &d.unasked : nullptr;
  w->Item().Open().Name("key").Text(r.key);
  if (d.views) w->Name("view").Text(formats::AsksFor64BitView(r.access) ? "64-bit" : "32-bit");
  if (!view_path.empty()) w->Name("export_key").Text(view_path);
  w->Name("asked").Bool(r.consulted);
  const logic::VersionRecord& shown = r.consulted || !unasked ? r : *unasked;
  w->Name("present").Bool(shown.present);
  if (shown.present) w->Name("value").Text(shown.text);
  if (d.other_view_present[index]) w->Name("other_view_value").Text(d.other_view_text[index]);
  w->Close();
}

void Package(const PackageReport& p, JsonWriter* w) {
  w->Name("package", 2).Open().Name("folder").Text(p.folder).Name("config").Text(p.config_path);
  w->Name("config_exists").Bool(p.config_exists);
  Value(p.client, true, &w->Name("client", 4));
  Value(p.driver, true, &w->Name("driver", 4));
  Value(p.installer, false, &w->Name("installer", 4));
  w->Name("installer_name_accepted", 4).Bool(!p.name_problem);
  if (p.name_problem) {
    w->Name("refusal").Text(p.refusal);
  } else {
    w->Name("installer_exists").Bool(p.installer_exists).Name("installer_size").Number(p.installer_size);
  }
  w->Close();
}

void DecisionMembers(const Decision& d, JsonWriter* w) {
  const bool paths = d.views && !d.source_name.empty();
  w->Name("decision", 2).Open().Name("source").Text(d.source);
  if (!d.source_name.empty()) w->Name("name").Text(d.source_name);
  if (d.views) w->Name("wow64").Bool(d.wow64);
  w->Name("client", 4).Open().Name("records").OpenList();
  Record(d, 0, paths, w);
  Record(d, 1, paths, w);
  if (d.depends_on_code_page) {
    // The numbers would come from bytes the customer's machine never gives.
    w->Close().Close().Name("driver", 4).Open().Name("records").OpenList();
    Record(d, 2, paths, w);
    Record(d, 3, paths, w);
    w->Close().Close().Name("depends_on_code_page", 4).Number(d.code_page).Close();
    return;
  }
  w->Close().Name("used").Number(d.client.used).Name("text").Text(d.client.text);
  w->Name("number").Number(d.client.number).Close();
  w->Name("driver", 4).Open().Name("records").OpenList();
  Record(d, 2, paths, w);
  Record(d, 3, paths, w);
  w->Close().Name("texts").TextList(d.driver.texts, 2).Name("chosen").Number(d.driver.chosen);
  w->Name("number").Number(d.driver.number).Close();
  const std::string lines[] = {d.client_line, d.driver_line};
  w->Name("install", 4).Bool(d.older).Name("log", 4).TextList(lines, 2).Close();
}

}  // namespace

std::string JsonReport(const Report& report) {
  std::string out;
  JsonWriter w(&out);
  w.Open();
  Package(report.package, &w);
  w.Name("releases", 2).OpenList();
  for (const Release& r : report.releases) {
    w.Item(4).Open().Name("text").Text(r.text).Name("number").Number(r.number);
    w.Name("installs_over").Bool(r.installs_over);
    if (r.blocked_by >= 0) w.Name("not_greater_than").Text(report.releases[r.blocked_by].text);
    w.Close();
  }
  w.Close().Name("warnings", 2).TextList(report.warnings.data(), report.warnings.size());
  w.Name("problems", 2).TextList(report.problems.data(), report.problems.size());
  if (report.has_decision) DecisionMembers(report.decision, &w);
  w.Name("ok", 2).Bool(report.problems.empty()).Close(0);
  return out + "\n";
}

}  // namespace check
