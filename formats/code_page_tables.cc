#include "formats/code_page_tables.h"

#include <algorithm>

#include "formats/text_encoding.h"

namespace formats {

// Made by the build from code_pages.tsv (cmake/code_page_data.cmake).
extern const CodePageTable kCodePageTables[];
extern const size_t kCodePageTableCount;

namespace {

const CodePageTable kUtf8 = {65001, '?', nullptr, 0};

}  // namespace

const CodePageTable* FindCodePageTable(uint32_t code_page) {
  if (code_page == kUtf8.code_page) return &kUtf8;
  for (size_t i = 0; i < kCodePageTableCount; ++i) {
    if (kCodePageTables[i].code_page == code_page) return &kCodePageTables[i];
  }
  return nullptr;
}

std::string CodePageTableNames() {
  std::string names;
  for (size_t i = 0; i < kCodePageTableCount; ++i) names += std::to_string(kCodePageTables[i].code_page) + ", ";
  if (!names.empty()) names.replace(names.size() - 2, 2, " and ");
  return names + std::to_string(kUtf8.code_page);
}

void AppendUtf16InCodePage(const CodePageTable& table, const char16_t* units, size_t count, std::string* out) {
  if (&table == &kUtf8) {
    std::string bytes;  // little-endian, as the UTF-8 writer reads units
    for (size_t i = 0; i < count; ++i) bytes += {static_cast<char>(units[i] & 0xFF), static_cast<char>(units[i] >> 8)};
    AppendUtf16AsUtf8(reinterpret_cast<const uint8_t*>(bytes.data()), count, false, out);
    return;
  }
  const CodePageEntry* begin = table.entries;
  const CodePageEntry* end = table.entries + table.count;
  for (size_t i = 0; i < count; ++i) {
    const uint16_t unit = units[i];
    const CodePageEntry* e =
        std::lower_bound(begin, end, unit, [](const CodePageEntry& a, uint16_t u) { return a.unit < u; });
    if (e == end || e->unit != unit) {
      out->push_back(static_cast<char>(unit < 0x80 ? unit : table.default_char));
    } else {
      if (e->bytes > 0xFF) out->push_back(static_cast<char>(e->bytes >> 8));
      out->push_back(static_cast<char>(e->bytes & 0xFF));
    }
  }
}

std::string Utf8InCodePage(const CodePageTable& table, std::string_view utf8) {
  // Well-formed first, so that each sequence below is whole.
  std::string valid;
  AppendValidUtf8(utf8, &valid);
  if (&table == &kUtf8) return valid;
  std::u16string units;
  units.reserve(valid.size());
  for (size_t i = 0; i < valid.size();) {
    const auto c = static_cast<uint8_t>(valid[i]);
    const size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    uint32_t cp = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
    for (size_t k = 1; k < n; ++k) cp = cp << 6 | (static_cast<uint8_t>(valid[i + k]) & 0x3F);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      units.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(cp));
    }
    i += n;
  }
  std::string out;
  AppendUtf16InCodePage(table, units.data(), units.size(), &out);
  return out;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace formats
