// "CopyFile from %s to %s" split into its two paths. Either path may hold
// " to " (a folder "Client to go"), so a split is taken only when exactly one
// is consistent with how setup makes the two paths.
#include <string>
#include <string_view>

#include "formats/ascii.h"
#include "tools/check/log_grammar.h"

namespace check {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A path as setup logs it: a drive ("C:\"), a share ("\\server") or, in the
// POSIX build, the root ("/").
bool IsAbsolute(std::string_view p) {
  if (p.size() >= 3 && ((p[0] | 0x20) >= 'a' && (p[0] | 0x20) <= 'z') && p[1] == ':' && IsSeparator(p[2])) return true;
  if (p.size() >= 3 && p[0] == '\\' && p[1] == '\\') return true;
  return p.size() >= 2 && p[0] == '/' && p[1] != '/';
}

std::string_view LastName(std::string_view p) {
  return p.substr(formats::LastComponentStart(p.data(), p.size(), '\\', '/'));
}

}  // namespace

// Consistent: both sides absolute paths that end in the same file name (setup
// copies the installer under its own name). When more than one split is, none
// is taken. (Where the target lies cannot decide between them: every
// candidate target is an end of the same line, so all lie in one folder.)
bool SplitCopyPaths(std::string_view paths, std::string* source, std::string* target) {
  static const size_t kMostTried = 64;  // a line made to cost its length squared is ambiguous
  size_t found = 0;
  size_t at_found = 0;
  size_t tried = 0;
  for (size_t at = paths.find(" to "); at != std::string_view::npos; at = paths.find(" to ", at + 1)) {
    const std::string_view a = paths.substr(0, at);
    const std::string_view b = paths.substr(at + 4);
    if (!IsAbsolute(b)) continue;
    if (++tried > kMostTried) return false;
    const std::string_view name = LastName(b);
    if (!IsAbsolute(a) || name.empty() || LastName(a) != name) continue;
    ++found;
    at_found = at;
  }
  if (found != 1) return false;
  source->assign(paths.substr(0, at_found));
  target->assign(paths.substr(at_found + 4));
  return true;
}

}  // namespace check
