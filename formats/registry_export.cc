#include "formats/registry_export.h"

#include <string.h>

#include "formats/ascii.h"
#include "formats/text_encoding.h"

namespace formats {
namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

// Parses "xx,xx,..." (white space allowed around bytes) into `out`.
bool ParseHexBytes(const char* p, const char* end, std::string* out) {
  out->clear();
  while (p < end) {
    while (p < end && IsAsciiBlank(*p)) ++p;
    if (p == end) break;
    int hi = HexValue(*p);
    int lo = p + 1 < end ? HexValue(p[1]) : -1;
    if (hi < 0 || lo < 0) return false;
    out->push_back(static_cast<char>(hi << 4 | lo));
    p += 2;
    while (p < end && IsAsciiBlank(*p)) ++p;
    if (p < end) {
      if (*p != ',') return false;
      ++p;
    }
  }
  return true;
}

// Parses a quoted name or string starting at `*p` (on the opening quote);
// leaves `*p` after the closing quote. Backslash escapes the next character.
bool ParseQuoted(const char** p, const char* end, std::string* out) {
  out->clear();
  const char* q = *p + 1;
  while (q < end && *q != '"') {
    if (*q == '\\' && q + 1 < end) ++q;
    out->push_back(*q++);
  }
  if (q == end) return false;
  *p = q + 1;
  return true;
}

// Key path of a header line's content without "HKEY_LOCAL_MACHINE\", or
// false when the key lies under another root.
bool LocalMachinePath(const std::string& full, std::string* path) {
  for (const char* root : {"HKEY_LOCAL_MACHINE", "HKLM"}) {
    size_t n = strlen(root);
    if (StartsWithNoCase(full, root)) {
      if (full.size() == n) {
        path->clear();
        return true;
      }
      if (full[n] == '\\') {
        path->assign(full, n + 1, std::string::npos);
        return true;
      }
    }
  }
  return false;
}

// Parses one value line into `value`. False for lines that are not values
// or are malformed (regedit skips those too). `*deleted` for "name"=-.
bool ParseValueLine(const std::string& line, bool unicode_file, Utf16Converter to_text, RegistryValue* value,
                    bool* deleted) {
  const char* p = line.data();
  const char* end = p + line.size();
  *deleted = false;
  if (*p == '@') {
    value->name.clear();
    ++p;
  } else if (*p == '"') {
    if (!ParseQuoted(&p, end, &value->name)) return false;
  } else {
    return false;
  }
  while (p < end && IsAsciiBlank(*p)) ++p;
  if (p == end || *p != '=') return false;
  ++p;
  while (p < end && IsAsciiBlank(*p)) ++p;
  std::string rest(p, end);
  if (rest == "-") {
    *deleted = true;
    return true;
  }
  if (!rest.empty() && rest[0] == '"') {
    const char* q = rest.data();
    if (!ParseQuoted(&q, rest.data() + rest.size(), &value->data)) return false;
    value->type = kRegSz;
    value->data.push_back('\0');
    return true;
  }
  if (StartsWithNoCase(rest, "dword:")) {
    const char* q = rest.data() + 6;
    const char* q_end = rest.data() + rest.size();
    while (q_end > q && IsAsciiBlank(q_end[-1])) --q_end;
    if (q_end - q < 1 || q_end - q > 8) return false;
    uint32_t v = 0;
    for (; q < q_end; ++q) {
      int d = HexValue(*q);
      if (d < 0) return false;
      v = v << 4 | static_cast<uint32_t>(d);
    }
    value->type = kRegDword;
    value->data.assign({static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF),
                        static_cast<char>(v >> 16 & 0xFF), static_cast<char>(v >> 24)});
    return true;
  }
  if (!StartsWithNoCase(rest, "hex")) return false;
  size_t colon = rest.find(':');
  if (colon == std::string::npos) return false;
  uint32_t type = kRegBinary;
  if (colon != 3) {
    // hex(N): with N in hexadecimal
    if (rest[3] != '(' || rest[colon - 1] != ')' || colon < 6 || colon > 13) return false;
    type = 0;
    for (size_t i = 4; i < colon - 1; ++i) {
      int d = HexValue(rest[i]);
      if (d < 0) return false;
      type = type << 4 | static_cast<uint32_t>(d);
    }
  }
  std::string bytes;
  if (!ParseHexBytes(rest.data() + colon + 1, rest.data() + rest.size(), &bytes)) return false;
  value->type = type;
  if (unicode_file && (type == kRegSz || type == kRegExpandSz || type == kRegMultiSz)) {
    // Stored as UTF-16LE; the A call hands out the 8-bit text.
    value->data.clear();
    to_text(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size() / 2, false, &value->data);
  } else {
    value->data.swap(bytes);
  }
  return true;
}

// The next logical line from `*p`, trimmed. A value line that ends in a
// backslash goes on in the next line (hex data); comments and headers never
// do, as regedit reads them.
void NextLine(const char** p, const char* end, std::string* line) {
  line->clear();
  for (;;) {
    const char* begin = *p;
    while (*p < end && **p != '\n' && **p != '\r') ++*p;
    const char* line_end = *p;
    if (*p < end && **p == '\r') ++*p;
    if (*p < end && **p == '\n') ++*p;
    while (begin < line_end && IsAsciiBlank(*begin)) ++begin;
    while (line_end > begin && IsAsciiBlank(line_end[-1])) --line_end;
    const char first = line->empty() ? (begin < line_end ? *begin : '\0') : (*line)[0];
    const bool value_line = first == '"' || first == '@';
    if (value_line && line_end > begin && line_end[-1] == '\\' && *p < end) {
      line->append(begin, line_end - 1);
      continue;
    }
    line->append(begin, line_end);
    return;
  }
}

}  // namespace

bool RegistryExport::Read(const std::string& bytes, Utf16Converter to_text) {
  keys_.clear();
  removals_.clear();
  sections_ = 0;
  const std::string text = DecodeTextFile(bytes, to_text);
  const char* p = text.data();
  const char* const end = p + text.size();
  bool header_seen = false;
  bool unicode_file = true;
  Key* current = nullptr;
  std::string line;
  while (p < end) {
    NextLine(&p, end, &line);
    if (line.empty() || line[0] == ';') continue;
    if (header_seen) {
      ReadLine(line, unicode_file, to_text, &current);
    } else if (line == "Windows Registry Editor Version 5.00" || line == "REGEDIT4") {
      unicode_file = line != "REGEDIT4";
      header_seen = true;
    } else {
      return false;
    }
  }
  return header_seen;
}

// One line after the header: a section, a removal, or a value of `*current`.
void RegistryExport::ReadLine(const std::string& line, bool unicode_file, Utf16Converter to_text, Key** current) {
  if (line[0] == '[') {
    *current = nullptr;
    const size_t close = line.rfind(']');
    if (close == std::string::npos) return;
    const bool removal = line.size() > 1 && line[1] == '-';
    const size_t start = removal ? 2 : 1;
    std::string path;
    if (close < start || !LocalMachinePath(line.substr(start, close - start), &path)) return;
    const uint64_t section = ++sections_;
    if (removal) {
      removals_[AsciiLowerCopy(path)] = section;
    } else {
      *current = &keys_[AsciiLowerCopy(path)];
      (*current)->defined = section;
    }
    return;
  }
  if (!*current) return;
  Key& key = **current;
  RegistryValue value;
  bool deleted = false;
  if (!ParseValueLine(line, unicode_file, to_text, &value, &deleted)) return;
  const std::string name = AsciiLowerCopy(value.name);
  auto found = key.by_name.find(name);
  if (deleted) {
    if (found != key.by_name.end()) {
      key.slots[found->second].live = false;
      key.by_name.erase(found);
    }
    return;
  }
  if (found == key.by_name.end()) {
    found = key.by_name.emplace(name, key.slots.size()).first;
    key.slots.emplace_back();
  }
  Slot& slot = key.slots[found->second];
  slot.value = std::move(value);
  slot.section = key.defined;
  slot.live = true;
}

// The last removal of the key or of one of its parents; 0 for none.
uint64_t RegistryExport::RemovedAt(const std::string& folded_path) const {
  uint64_t last = 0;
  for (size_t i = 0; i <= folded_path.size(); ++i) {
    if (i < folded_path.size() && folded_path[i] != '\\') continue;
    auto it = removals_.find(folded_path.substr(0, i));
    if (it != removals_.end() && it->second > last) last = it->second;
  }
  return last;
}

bool RegistryExport::FindKey(const std::string& key_path, std::vector<RegistryValue>* values) const {
  values->clear();
  const std::string folded = AsciiLowerCopy(key_path);
  const uint64_t removed = RemovedAt(folded);
  auto own = keys_.find(folded);
  bool found = own != keys_.end() && own->second.defined > removed;
  if (own != keys_.end()) {
    for (const Slot& slot : own->second.slots) {
      if (slot.live && slot.section > removed) values->push_back(slot.value);
    }
  }
  // A subkey defined since implies the key.
  for (auto it = keys_.begin(); it != keys_.end() && !found; ++it) {
    const std::string& path = it->first;
    found = it->second.defined > removed && path.size() > folded.size() && path[folded.size()] == '\\' &&
            path.compare(0, folded.size(), folded) == 0;
  }
  return found;
}

bool FindRegistryKey(const std::string& bytes, Utf16Converter to_text, const std::string& key_path,
                     std::vector<RegistryValue>* values) {
  RegistryExport parsed;
  if (!parsed.Read(bytes, to_text)) {
    values->clear();
    return false;
  }
  return parsed.FindKey(key_path, values);
}

}  // namespace formats
