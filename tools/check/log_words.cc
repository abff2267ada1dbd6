// What the numbers and outcomes in a log mean, in words for support staff.
#include "tools/check/log_runs.h"

namespace check {

const char* WindowsErrorName(int64_t code) {
  switch (code) {
    case 2:
      return "the file was not found";
    case 3:
      return "the path was not found";
    case 5:
      return "access denied";
    case 8:
      return "not enough memory";
    case 32:
      return "the file is in use by another process";
    case 33:
      return "part of the file is locked by another process";
    case 39:
    case 112:
      return "the disk is full";
    case 225:
      return "the file holds a virus and was blocked";
    case 267:
      return "not a plain folder";
    case 1307:
      return "not an owner the system allows";
    case 1338:
      return "the security descriptor is not as asked";
    case 1400:
      return "the window handle is invalid (no desktop)";
    case 1450:
      return "insufficient system resources";
    default:
      return "";
  }
}

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::kStarted:
      return "installer started";
    case Outcome::kUpToDate:
      return "nothing to install";
    case Outcome::kCopyFailed:
      return "copy failed";
    case Outcome::kOpenFailed:
      return "open failed";
    case Outcome::kStopped:
      return "stopped by a check";
    case Outcome::kNotStarted:
      return "setup could not run its check";
    case Outcome::kIncomplete:
      return "no last line";
    case Outcome::kEmpty:
      return "nothing after the banner";
    case Outcome::kInterleaved:
      return "mixed with another run";
  }
  return "";
}

const char* ShellResultName(int64_t code) {
  switch (code) {
    case 0:
      return "the system is out of memory or resources";
    case 2:
      return "the file was not found";
    case 3:
      return "the path was not found";
    case 5:
      return "access denied";
    case 8:
      return "not enough memory";
    case 11:
      return "not a valid program";
    case 26:
      return "a sharing violation";
    case 27:
      return "the file type's association is incomplete";
    case 28:
    case 29:
    case 30:
      return "the program did not answer its start request (DDE)";
    case 31:
      return "no program is associated with the file type";
    case 32:
      return "a DLL was not found";
    default:
      return "";
  }
}

}  // namespace check
