// velsetup.log read by its grammar: the file's encoding, decided once; its
// lines; and each line as setup writes it (the banner, or a step: the stamp,
// a TAB, a space and one of the texts of logic/log_texts.h with every number
// whole and in range), or else damage, which is never read.
#ifndef PATHWARDEN_TOOLS_CHECK_LOG_GRAMMAR_H_
#define PATHWARDEN_TOOLS_CHECK_LOG_GRAMMAR_H_

#include <stdint.h>

#include <string>
#include <string_view>

namespace check {

// How a log's bytes are laid out, decided once for the whole file.
struct LogEncoding {
  const char* name = "";      // "UTF-8", "UTF-8 with its mark", "UTF-16 LE", "UTF-16 BE"
  const char* line_end = "";  // "CR LF", "LF", "CR CR LF"
};

// The log's text as setup wrote it (the marks and UTF-16 undone) in `text`:
// in `bytes`, or in `converted` for UTF-16; false with the reason in `why`
// when it cannot be read exactly.
bool DecodeLog(const std::string& bytes, std::string* converted, std::string_view* text, LogEncoding* encoding,
               std::string* why);

// Calls `line(context, content, whole)` for each line of `text`; `whole` is
// false for a line that does not end in the file's line end (cut off).
void ForEachLine(std::string_view text, const LogEncoding& encoding,
                 void (*line)(void* context, std::string_view content, bool whole), void* context);

enum class StepKind {
  kInit,          // OnInitDialog
  kDialogFailed,  // the dialog could not be created (final)
  kWorkerFailed,  // no install worker (final)
  kPassStart,
  kClient,  // numbers[0] installed, numbers[1] package
  kDriver,
  kStop,  // a stop of the pass: text names which (StopCause)
  kUpToDate,
  kOwnerNote,
  kEarlierFolders,
  kCopy,        // text: what follows "CopyFile from "
  kInPlace,     // text: the installer's path
  kCopyFailed,  // numbers[0]: the error
  kOpenFailed,  // numbers[0]: the result
  kFinishStart,
  kFinishEnd,
  kPassEnd,  // final
};

struct LogLine {
  enum class Type { kBlank, kRule, kBanner, kStep, kDamage } type = Type::kDamage;
  std::string when;  // the banner's date and time
  int64_t time = 0;  // the line's stamp, in seconds (local time)
  StepKind kind = StepKind::kInit;
  int rank = 0;                // a run writes its steps in rising rank
  bool final = false;          // the run's last line
  const char* stop = nullptr;  // the log text of a stop
  const char* reason = "";     // a refused name's reason
  int64_t numbers[3] = {};
  std::string_view text;     // the %s of the line, when it has one (in the line read)
  std::string_view message;  // a step's message: what follows its stamp (in the line read)
};

// One line's content (without its line end), read by the grammar.
LogLine ReadLogLine(std::string_view line);

// The source and target of a "CopyFile from" line (what follows those
// words); false when no split, or more than one, is consistent.
bool SplitCopyPaths(std::string_view paths, std::string* source, std::string* target);

}  // namespace check

#endif  // PATHWARDEN_TOOLS_CHECK_LOG_GRAMMAR_H_
