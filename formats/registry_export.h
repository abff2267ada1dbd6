// Reader for registry export files ("regedit /e"): the POSIX stand-in's
// registry and the check tool's --registry mode read exports through it.
// Reads "Windows Registry Editor Version 5.00" files (UTF-16LE with a
// byte-order mark, or UTF-8) and "REGEDIT4" files. Portable, no system calls.
#ifndef PATHWARDEN_FORMATS_REGISTRY_EXPORT_H_
#define PATHWARDEN_FORMATS_REGISTRY_EXPORT_H_

#include <stdint.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "formats/text_encoding.h"

namespace formats {

struct RegistryValue {
  std::string name;   // "" for the default value ("@")
  uint32_t type = 0;  // REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, ...
  // The bytes RegQueryValueExA gives: string types as 8-bit text with their
  // terminating zeros, everything else unchanged.
  std::string data;
};

// The keys below HKEY_LOCAL_MACHINE of one export, read once: each lookup
// after that costs the keys it has to look at, not the file.
class RegistryExport {
 public:
  // Reads the raw file bytes; string values of a UTF-16 file become 8-bit
  // text through `to_text`. False when they are not an export (no known
  // header; a UTF-16 file needs its byte-order mark, as regedit wants it):
  // then it holds no keys.
  bool Read(const std::string& bytes, Utf16Converter to_text);

  // True if HKEY_LOCAL_MACHINE\`key_path` exists: a section names it or one
  // of its subkeys, after any removal of it or of a parent. `*values` then
  // holds its values, a later definition of a name replacing an earlier one.
  // Names compare without regard to ASCII case.
  bool FindKey(const std::string& key_path, std::vector<RegistryValue>* values) const;

 private:
  struct Slot {
    RegistryValue value;
    uint64_t section = 0;  // the section that last set it
    bool live = false;
  };
  struct Key {
    uint64_t defined = 0;  // the last section naming it; 0 for none
    std::vector<Slot> slots;
    std::unordered_map<std::string, size_t> by_name;  // folded name -> slot
  };
  void ReadLine(const std::string& line, bool unicode_file, Utf16Converter to_text, Key** current);
  uint64_t RemovedAt(const std::string& folded_path) const;

  // Folded paths. Sections and removals are numbered in file order, so that
  // a removal hides what came before it and nothing after.
  std::unordered_map<std::string, Key> keys_;
  std::unordered_map<std::string, uint64_t> removals_;
  uint64_t sections_ = 0;
};

// One lookup in the export `bytes`: RegistryExport's Read, then FindKey.
bool FindRegistryKey(const std::string& bytes, Utf16Converter to_text, const std::string& key_path,
                     std::vector<RegistryValue>* values);

}  // namespace formats

#endif  // PATHWARDEN_FORMATS_REGISTRY_EXPORT_H_
