#include "formats/ini_file.h"

#include <string.h>

#include "formats/ascii.h"
#include "formats/text_encoding.h"

namespace formats {
namespace {

// [begin, end) trimmed of white space on both sides.
void Trim(const char** begin, const char** end) {
  while (*begin < *end && IsAsciiSpace(**begin)) ++*begin;
  while (*end > *begin && IsAsciiSpace((*end)[-1])) --*end;
}

bool NameEquals(const char* begin, const char* end, const char* name) {
  return EqualsNoCase(std::string_view(begin, end - begin), name);
}

}  // namespace

bool FindProfileValue(const std::string& bytes, Utf16Converter to_text, const char* section, const char* key,
                      std::string* raw_value) {
  const std::string text = DecodeTextFile(bytes, to_text);
  const char* p = text.data();
  const char* const end = p + text.size();

  // Keys before the first header belong to the nameless section.
  bool in_wanted = section[0] == '\0';
  bool seen_wanted = in_wanted;
  while (p < end) {
    const char* line = p;
    while (p < end && *p != '\n' && *p != '\r') ++p;
    const char* line_end = p;
    if (p < end) ++p;
    Trim(&line, &line_end);
    if (line == line_end) continue;

    if (*line == '[') {
      const char* close = line_end;
      while (close > line && close[-1] != ']') --close;
      if (close == line) continue;    // no ']': not a header, and not a key
      if (seen_wanted) return false;  // only the first such section counts
      const char* name = line + 1;
      const char* name_end = close - 1;
      Trim(&name, &name_end);
      in_wanted = NameEquals(name, name_end, section);
      seen_wanted = in_wanted;
      continue;
    }
    if (!in_wanted) continue;

    const char* eq = static_cast<const char*>(memchr(line, '=', line_end - line));
    const char* name_end = eq ? eq : line_end;
    const char* name = line;
    Trim(&name, &name_end);
    if (!NameEquals(name, name_end, key)) continue;
    if (!eq) return false;  // a key without a value gives the default
    const char* value = eq + 1;
    const char* value_end = line_end;
    Trim(&value, &value_end);
    const char* nul = static_cast<const char*>(memchr(value, '\0', value_end - value));
    if (nul) value_end = nul;
    raw_value->assign(value, value_end);
    return true;
  }
  return false;
}

uint32_t CopyProfileValue(const std::string& raw_value, char* buffer, uint32_t size) {
  const char* value = raw_value.c_str();
  size_t length = raw_value.size();
  bool quoted = false;
  if (length >= 2 && (value[0] == '"' || value[0] == '\'') && value[length - 1] == value[0]) {
    quoted = true;
    ++value;
    --length;
  }
  size_t copied = length < size - 1 ? length : size - 1;
  memcpy(buffer, value, copied);
  if (quoted && size >= length && copied > 0) --copied;
  buffer[copied] = '\0';
  return static_cast<uint32_t>(copied);
}

}  // namespace formats
