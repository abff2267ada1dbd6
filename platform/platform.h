// The boundary between the install logic and the operating system.
//
// Every call the logic makes to the system goes through this header. The
// Windows build (*_win.cc) makes the real Win32 calls; the POSIX build
// (*_posix.cc) stands in for them so that the whole program builds, runs and
// can replay a customer's decision on Linux. Each side is split by concern:
// files, registry, processes, and the rest of the system.
//
// Texts are zero-terminated 8-bit strings in the system's ANSI code page (on
// POSIX: the bytes of the file system, normally UTF-8). Buffer sizes are in
// bytes and include the terminating zero unless a comment says otherwise.
//
// Two rules hold for everything behind this boundary; a machine's other
// users are taken to be hostile.
//
// 1. A name from the system is used only if it survives unchanged. The
//    Windows side asks for the program's path, the temporary folders and
//    directory entries with the wide (W) calls and turns them into ANSI text
//    at one point, platform/names_win.h, which refuses any name whose ANSI
//    form does not convert back to the same UTF-16 text. Such a name is
//    treated as missing; it never reaches the logic as a look-alike.
// 2. What was checked is what is acted on. A check and the action it allows
//    go through the same open handle, or through directory handles held
//    (without delete sharing) from the checked folder down, with entries
//    named relative to the held handle. No path whose components someone
//    else could swap is resolved again between the check and the act
//    (ClearStagingFolder is the model).
#ifndef PATHWARDEN_PLATFORM_PLATFORM_H_
#define PATHWARDEN_PLATFORM_PLATFORM_H_

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <time.h>

// The printf dialect of FormatText, for the compiler's format checks: the
// system C library's (msvcrt's on Windows: no %zu, no %lld, no %hhd).
#ifdef _WIN32
#define PLATFORM_PRINTF_FORMAT ms_printf
#else
#define PLATFORM_PRINTF_FORMAT printf
#endif

namespace platform {

// Separator of path components: '\\' on Windows, '/' on POSIX.
extern const char kPathSeparator;

// The system's error code for "not implemented" (ERROR_CALL_NOT_IMPLEMENTED).
constexpr uint32_t kErrorCallNotImplemented = 120;

// The system's error code for a name without an exact form in the ANSI code
// page (ERROR_NO_UNICODE_TRANSLATION); the POSIX stand-in never gives it.
constexpr uint32_t kErrorNoExactName = 1113;

// ---- Paths -----------------------------------------------------------------

// The longest path the system's ANSI file calls take, in characters without
// the terminating zero (MAX_PATH - 1). The POSIX stand-in holds itself to the
// same limit so that its runs model Windows.
constexpr size_t kMaxPathLength = 259;
// A buffer for such a path with its zero (MAX_PATH): what the system's calls
// are given as the capacity.
constexpr uint32_t kPathBufferSize = kMaxPathLength + 1;

// CopyFileTo's temporary copy is named "~" and hexadecimal digits (up to
// 16), in the target's folder, never longer than the target's own name: any
// target the system takes can be copied.
constexpr char kCopyTempPrefix = '~';

// Writes the temporary directory, ending with the separator, into `buffer`
// (capacity `size` bytes) and returns its length without the terminating zero.
// Returns 0 when there is none. When `size` is too small, returns the
// capacity needed (terminating zero included) and leaves the buffer alone;
// callers must treat a result >= size as "does not fit". A path without an
// exact ANSI form gives 0. (GetTempPathW, rule 1.)
uint32_t GetTempDirectory(uint32_t size, char* buffer);

// Full path of the running executable. Returns its length; 0 on failure or
// when the path has no exact ANSI form (GetLastSystemError() gives
// kErrorNoExactName then); a path that does not fit returns `size`, and the
// buffer holds no usable path. (GetModuleFileNameW, rule 1.)
uint32_t GetExecutablePath(char* buffer, uint32_t size);

// True when `byte` begins a double-byte character in the ANSI code page.
// Always false on POSIX, where no multibyte sequence contains a separator.
bool IsLeadByte(uint8_t byte);

// Upper-case mapping of one double-byte character (lead << 8 | trail) as the
// platform's multibyte case rules give it; unchanged where there is none.
uint16_t UpperDoubleByte(uint16_t unit);

// Formats `format` with `args` as the system C library's vsnprintf does
// (on Windows msvcrt's, not the compiler runtime's own printf, which would
// triple the size of setup.exe). Returns the length of the whole text without
// the terminating zero, or -1 on a format error. Writes into `buffer`
// (capacity `size`) only when the whole text and its zero fit; otherwise, and
// on error, `buffer` holds the empty text (if `size` > 0). Never leaves it
// unterminated. `buffer` may be null when `size` is 0: a measurement.
int FormatText(char* buffer, size_t size, const char* format, va_list args);

// ---- Registry (HKEY_LOCAL_MACHINE only) ------------------------------------

// Access masks as Windows defines them.
constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyWow64_64Key = 0x0100;
constexpr uint32_t kKeyWow64_32Key = 0x0200;

// An open key: HKEY on Windows, the stand-in's key object on POSIX. Owned by
// whoever opened it; release with CloseRegistryKey (see ScopedRegKey).
struct RegistryKeyImpl;
using RegistryKey = RegistryKeyImpl*;

// Opens HKEY_LOCAL_MACHINE\`sub_key` with `access`. Returns 0 and sets `*key`
// when it opens in that view; a non-zero system error code otherwise.
// (RegOpenKeyExA.)
int32_t OpenRegistryKey(const char* sub_key, uint32_t access, RegistryKey* key);

// Queries value `name`. With `data` null, sets `*size` to the size of the
// value's data in bytes. Otherwise copies up to `*size` bytes into `data` and
// sets `*size` to the bytes copied. Returns 0 on success, a system error code
// otherwise (2 when the value is absent, 234 when `*size` is too small).
// String values come as the ANSI text the A-suffixed call gives, terminating
// zeros included. (RegQueryValueExA without the type.)
int32_t QueryRegistryValue(RegistryKey key, const char* name, uint8_t* data, uint32_t* size);

void CloseRegistryKey(RegistryKey key);

// Owns one open key.
class ScopedRegKey {
 public:
  ScopedRegKey() = default;
  ~ScopedRegKey() {
    if (key_) CloseRegistryKey(key_);
  }
  ScopedRegKey(const ScopedRegKey&) = delete;
  ScopedRegKey& operator=(const ScopedRegKey&) = delete;

  RegistryKey get() const { return key_; }
  RegistryKey* receive() { return &key_; }

 private:
  RegistryKey key_ = nullptr;
};

// ---- 64-bit system probe ---------------------------------------------------

// The pieces of the WOW64 probe, so that the logic can follow its steps:
// the module handle of `module_name` (GetModuleHandleA), an entry point in it
// (GetProcAddress), and a call of GetSystemWow64DirectoryW through that entry
// point with a buffer of `size` wide characters. Null/0 mean "none".
void* GetLoadedModule(const char* module_name);
void* GetModuleEntryPoint(void* module, const char* name);
uint32_t CallGetSystemWow64Directory(void* entry_point, uint16_t* buffer, uint32_t size);

// The calling thread's last system error code (GetLastError; errno on POSIX).
uint32_t GetLastSystemError();

// Seconds since 1970 (time()). Tests may stand a clock of their own in for
// the system's (null restores it), to tell one reading of the time from two.
int64_t CurrentTime();
void SetClockForTesting(int64_t (*clock)());

// Local broken-down time of `t`; false if it cannot be formed.
bool ToLocalTime(int64_t t, struct tm* out);

// ---- Files -----------------------------------------------------------------

// Appends `length` bytes to the file `path` as text (line feeds become the
// platform's line ends), creating the file if missing, in a single write so
// that concurrent appenders never tear or overwrite each other's lines. The
// file is opened and closed within the call and shared with everyone.
// Never writes through a link: a symbolic link or other reparse point, a
// file with more than one name, or anything but a regular file is refused
// with nothing written. Waits at most about 200 ms in all for a file held
// without sharing and for other writers (Windows; POSIX never waits).
// Returns false if the file cannot be opened or is refused; write errors are
// not reported.
bool AppendTextToFile(const char* path, const char* text, size_t length);

// DeleteFileA; SetFileAttributesA(path, NORMAL). False on failure, with the
// reason in GetLastSystemError().
bool DeleteFileAt(const char* path);
bool SetNormalAttributes(const char* path);

// Copies `source` over `target` as CopyFileA does (keeping the source's
// attributes or permission bits; the data copied by the kernel), but through
// a temporary file beside the target (kCopyTempPrefix) that is renamed onto
// it at the end: the target is always either the old file or the complete
// new one, never half written, even while another process copies to it. A
// source or target longer than kMaxPathLength is refused before anything is
// written (ERROR_FILENAME_EXCED_RANGE; ENAMETOOLONG). On
// failure nothing is left behind, a read-only temporary file included, and
// the reason is in GetLastSystemError().
bool CopyFileTo(const char* source, const char* target);

// Creates one directory; true if it was created or already exists as a
// plain directory (a link or junction in its place is refused).
bool CreateDirectoryAt(const char* path);

// ---- Staging: the private folder of elevated runs ---------------------------

// Writes the system's temporary directory (Windows: %SystemRoot%\Temp\; the
// POSIX stand-in: $VELSETUP_SYSTEM_TEMP, else /var/tmp/), ending with the
// separator, and returns its length. Returns 0 when it does not exist as a
// directory, and a value >= `size` (buffer untouched) when it does not fit.
// Ordinary users may create entries there but not rename or delete those of
// others.
uint32_t GetSystemTempDirectory(uint32_t size, char* buffer);

// True when the volume holding `directory` keeps access lists
// (FILE_PERSISTENT_ACLS; POSIX: any file system but FAT and exFAT).
bool KeepsAccessLists(const char* directory);

// An open handle on a directory (a descriptor on POSIX) that keeps others
// from deleting it while it is held: they find it in use. Closed when it goes.
class DirectoryHold {
 public:
  DirectoryHold() = default;
  ~DirectoryHold() { Release(); }
  DirectoryHold(const DirectoryHold&) = delete;
  DirectoryHold& operator=(const DirectoryHold&) = delete;

  void Release();
  intptr_t* receive() { return &handle_; }

 private:
  intptr_t handle_ = -1;
};

// Creates the new directory `path` owned by the administrators (root), with
// full control for the system and administrators, read and execute for users
// and nothing inherited; holds it with `hold` and checks through that handle
// that it is a directory and not a reparse point or link, still at `path`,
// and that nobody but the system, the administrators and its owner may
// change it. Sets `*owned_by_account` when the system gave it to the running
// account instead of the administrators. False (the reason in
// GetLastSystemError()) if it exists already, another run removed or holds it
// before it could be held, or any check fails.
bool CreatePrivateDirectory(const char* path, DirectoryHold* hold, bool* owned_by_account);

// Calls `visit(context, name)` for each entry of the directory `path` but "."
// and "..", as it is read, never following links; names longer than the
// system's path limit or without an exact ANSI form (rule 1) are not
// visited. False if the directory cannot be read.
bool ListDirectory(const char* path, void (*visit)(void* context, const char* name), void* context);

// What a directory entry is, read without following it. For readers that
// only look (the check tool's log folders): by rule 2 nothing may act on a
// path because of what this said.
enum class EntryKind { kMissing, kFile, kDirectory, kLink };
EntryKind GetEntryKind(const char* path);

// Clears an earlier staging folder: the entry `name` of `base` (ending with
// the separator) and everything below it, as one operation under rule 2.
// The entry is opened itself and held so that nobody can rename, replace or
// take it meanwhile (a run's own hold makes this fail: kInUse); through that
// hold it must be a plain directory, not a link or reparse point, owned by
// the administrators or the system (root), or by the running account when
// `account_owned` (where the system gives our own folders to it) and then
// changeable by nobody else; otherwise kNotOurs, untouched. Below it every
// directory is entered only through a hold of its own, what an entry is is
// read through the handle it is removed by, and links (any reparse point)
// are removed as links, never entered. A read-only file's attribute is
// cleared first unless the file has other names. If any file is in use (a
// running program's image, or open without sharing) nothing is removed:
// kInUse; so too when anything could not be removed.
enum class ClearOutcome { kRemoved, kInUse, kNotOurs };
ClearOutcome ClearStagingFolder(const char* base, const char* name, bool account_owned);

// True when the process runs elevated or as the system account. The POSIX
// stand-in counts root as elevated, as Windows counts the system account;
// VELSETUP_ELEVATED=1 or 0 replays either state.
bool IsElevated();

// Fills `buffer` with `size` bytes from the system's secure random source.
bool RandomBytes(uint8_t* buffer, size_t size);

// True when both paths name one existing file (same volume and file id /
// device and inode).
bool IsSameFile(const char* a, const char* b);

// Opens `path` with its registered action, shown normally, not waiting for
// it, in the working directory `directory` (ShellExecuteA "open"). Returns the shell's result: greater than 32 on
// success, 32 or less on failure. The POSIX stand-in gives the number in
// VELSETUP_SHELL_RESULT instead, starting nothing, when that is set (to
// replay a customer's failed open).
intptr_t ShellOpen(const char* path, const char* directory);

// ---- Threads and the finish message ----------------------------------------

// A started thread, joined when this object goes away.
class ScopedThread {
 public:
  ScopedThread() = default;
  ~ScopedThread() { Join(); }
  ScopedThread(const ScopedThread&) = delete;
  ScopedThread& operator=(const ScopedThread&) = delete;

  // Starts `procedure(parameter)` on a new thread at normal priority with the
  // default stack. Returns false if it cannot start (or one already runs).
  bool Start(uint32_t (*procedure)(void*), void* parameter);

  // Waits for the thread to end and releases it; nothing if none runs. On
  // Windows the wait keeps handling messages sent to the calling thread's
  // windows, so a worker blocked in a synchronous send cannot deadlock it.
  void Join();

 private:
  uintptr_t handle_ = 0;
  bool running_ = false;
};

// The window that receives the worker's finish request: HWND on Windows, the
// POSIX message loop's window object there.
struct WindowImpl;
using Window = WindowImpl*;

// Sends `message` to `window` and returns after its handler has run on the
// window's own thread (SendMessageA). Returns at once with 0 when the window
// no longer exists.
intptr_t SendMessageSync(Window window, uint32_t message, uintptr_t wparam, intptr_t lparam);

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_PLATFORM_H_
