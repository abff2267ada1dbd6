#include "platform/registry_export.h"

#include <string.h>

#include "platform/text_encoding.h"

namespace platform {
namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool EqualsNoCase(const char* a, size_t a_len, const char* b, size_t b_len) {
  if (a_len != b_len) return false;
  for (size_t i = 0; i < a_len; ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  size_t n = strlen(prefix);
  return s.size() >= n && EqualsNoCase(s.data(), n, prefix, n);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = FoldCase(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Parses "xx,xx,..." (white space allowed around bytes) into `out`.
bool ParseHexBytes(const char* p, const char* end, std::string* out) {
  out->clear();
  while (p < end) {
    while (p < end && IsSpace(*p)) ++p;
    if (p == end) break;
    int hi = HexDigit(*p);
    int lo = p + 1 < end ? HexDigit(p[1]) : -1;
    if (hi < 0 || lo < 0) return false;
    out->push_back(static_cast<char>(hi << 4 | lo));
    p += 2;
    while (p < end && IsSpace(*p)) ++p;
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
bool ParseValueLine(const std::string& line, bool unicode_file, RegistryValue* value, bool* deleted) {
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
  while (p < end && IsSpace(*p)) ++p;
  if (p == end || *p != '=') return false;
  ++p;
  while (p < end && IsSpace(*p)) ++p;
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
    while (q_end > q && IsSpace(q_end[-1])) --q_end;
    if (q_end - q < 1 || q_end - q > 8) return false;
    uint32_t v = 0;
    for (; q < q_end; ++q) {
      int d = HexDigit(*q);
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
      int d = HexDigit(rest[i]);
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
    AppendUtf16AsUtf8(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size() / 2, false, &value->data);
  } else {
    value->data.swap(bytes);
  }
  return true;
}

void StoreValue(const RegistryValue& value, std::vector<RegistryValue>* values) {
  for (auto& existing : *values) {
    if (EqualsNoCase(existing.name.data(), existing.name.size(), value.name.data(), value.name.size())) {
      existing = value;
      return;
    }
  }
  values->push_back(value);
}

void EraseValue(const std::string& name, std::vector<RegistryValue>* values) {
  for (auto it = values->begin(); it != values->end(); ++it) {
    if (EqualsNoCase(it->name.data(), it->name.size(), name.data(), name.size())) {
      values->erase(it);
      return;
    }
  }
}

}  // namespace

bool FindRegistryKey(const std::string& bytes, const std::string& key_path, std::vector<RegistryValue>* values) {
  values->clear();
  bool was_utf16 = false;
  const std::string text = DecodeTextFile(bytes, &was_utf16);
  const char* p = text.data();
  const char* const end = p + text.size();

  bool found = false;
  bool in_key = false;
  bool header_seen = false;
  bool unicode_file = true;
  std::string line;
  std::string path;
  while (p < end) {
    // One logical line: a trailing backslash continues it on the next line.
    line.clear();
    for (;;) {
      const char* begin = p;
      while (p < end && *p != '\n' && *p != '\r') ++p;
      const char* line_end = p;
      if (p < end && *p == '\r') ++p;
      if (p < end && *p == '\n') ++p;
      while (begin < line_end && IsSpace(*begin)) ++begin;
      while (line_end > begin && IsSpace(line_end[-1])) --line_end;
      if (line_end > begin && line_end[-1] == '\\' && p < end) {
        line.append(begin, line_end - 1);
        continue;
      }
      line.append(begin, line_end);
      break;
    }
    if (line.empty() || line[0] == ';') continue;

    if (!header_seen) {
      if (line == "Windows Registry Editor Version 5.00") {
        unicode_file = true;
      } else if (line == "REGEDIT4") {
        unicode_file = false;
      } else {
        return false;
      }
      header_seen = true;
      continue;
    }

    if (line[0] == '[') {
      size_t close = line.rfind(']');
      in_key = false;
      if (close == std::string::npos) continue;
      bool removal = line.size() > 1 && line[1] == '-';
      std::string full = line.substr(removal ? 2 : 1, close - (removal ? 2 : 1));
      if (!LocalMachinePath(full, &path)) continue;
      bool same = EqualsNoCase(path.data(), path.size(), key_path.data(), key_path.size());
      bool below = path.size() > key_path.size() && path[key_path.size()] == '\\' &&
                   EqualsNoCase(path.data(), key_path.size(), key_path.data(), key_path.size());
      bool above = key_path.size() > path.size() && key_path[path.size()] == '\\' &&
                   EqualsNoCase(path.data(), path.size(), key_path.data(), path.size());
      if (removal) {
        // Deleting the key or a parent removes it with all its values.
        if (same || above) {
          found = false;
          values->clear();
        }
        continue;
      }
      if (same || below) found = true;
      in_key = same;
      continue;
    }

    if (!in_key) continue;
    RegistryValue value;
    bool deleted = false;
    if (!ParseValueLine(line, unicode_file, &value, &deleted)) continue;
    if (deleted) {
      EraseValue(value.name, values);
    } else {
      StoreValue(value, values);
    }
  }
  return found;
}

}  // namespace platform
