#include "shell/framework.h"

#include <string.h>

namespace {

CWinApp* g_app = nullptr;

// DLLs that the hidden dialog (themes, composition), the shell's open call
// and the security and random-number calls load after start-up, on the
// systems that lack SetDefaultDllDirectories (Vista; Windows 7 without its
// loader update). None is a KnownDLL there, so each would be looked for in
// the application folder first. A later load by name gets the module that is
// already in the process.
constexpr const char* kLateLoadedDlls[] = {
    "uxtheme.dll", "dwmapi.dll",   "propsys.dll", "apphelp.dll", "profapi.dll",   "userenv.dll", "version.dll",
    "devobj.dll",  "cfgmgr32.dll", "sspicli.dll", "ntmarta.dll", "cryptbase.dll", "cryptsp.dll",
};

// Loads each of them from the system directory by its full path, with its
// own dependencies searched for there too. Kept loaded for the whole run.
void PreloadLateLoadedDlls() {
#ifdef PATHWARDEN_TEST_WITHOUT_PRELOAD
  return;  // test builds only: the unprotected older systems
#endif
  char path[MAX_PATH];
  UINT length = GetSystemDirectoryA(path, sizeof path);
  if (length == 0 || length >= sizeof path) return;
  for (const char* name : kLateLoadedDlls) {
    size_t name_length = strlen(name);
    if (length + 1 + name_length + 1 > sizeof path) continue;
    path[length] = '\\';
    memcpy(path + length + 1, name, name_length + 1);
    LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
}

// Only the system directory may supply DLLs: a setup.exe is typically started
// from a downloads folder, where a planted DLL would otherwise be loaded.
// Looked up at run time so that systems without these calls still start.
void RestrictDllLoading() {
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  if (!kernel32) return;
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  using SetSearchPathModeFn = BOOL(WINAPI*)(DWORD);
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
  auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
#ifdef PATHWARDEN_TEST_AS_IF_WITHOUT_DEFAULT_DLL_DIRECTORIES
  set_default = nullptr;  // test builds only: behave as on Vista
#endif
  const bool confined = set_default && set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // The current directory leaves the DLL search path, and comes after the
  // system directories when searching for programs.
  auto set_dll_directory =
      reinterpret_cast<SetDllDirectoryFn>(reinterpret_cast<void (*)()>(GetProcAddress(kernel32, "SetDllDirectoryA")));
  if (set_dll_directory) set_dll_directory("");
  auto set_search_mode = reinterpret_cast<SetSearchPathModeFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel32, "SetSearchPathMode")));
  if (set_search_mode) {
    set_search_mode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
  }
  // Without the confinement the application folder stays first in the
  // search; the current directory has left it by now.
  if (!confined) PreloadLateLoadedDlls();
}

}  // namespace

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

int RunApplication() {
  RestrictDllLoading();
  if (g_app) g_app->InitInstance();
  // The exit code never reflects the decision: deployment tools would report
  // "nothing to install" as a failure.
  return 0;
}

CDialog::CDialog(UINT template_id, CWnd* parent) : m_nTemplate(template_id), m_pParent(parent) {}

const MessageMap* CDialog::GetMessageMap() const { return nullptr; }

BOOL CDialog::OnInitDialog() { return TRUE; }

INT_PTR CDialog::DoModal() {
  HWND owner = m_pParent ? m_pParent->GetSafeHwnd() : nullptr;
  INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_nTemplate), owner, DialogProc,
                                   reinterpret_cast<LPARAM>(this));
  m_hWnd = nullptr;
  return result;
}

void CDialog::EndDialog(int result) {
  if (m_hWnd) ::EndDialog(m_hWnd, result);
}

bool CDialog::Dispatch(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
    for (size_t i = 0; i < map->count; ++i) {
      if (map->entries[i].message != message) continue;
      m_bDefault = false;
      *result = map->entries[i].dispatch(this, wparam, lparam);
      return !m_bDefault;
    }
  }
  // The OK and Cancel commands (the buttons, Enter, Escape, and WM_CLOSE,
  // which the dialog manager turns into IDCANCEL) end the modal run.
  if (message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
    if (LOWORD(wparam) == IDOK) {
      OnOK();
    } else {
      OnCancel();
    }
    *result = 0;
    return true;
  }
  return false;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  CDialog* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(lparam);
    SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->m_hWnd = hwnd;
    self->DoDataExchange();
    return self->OnInitDialog();
  }
  self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  if (!self) return FALSE;
  LRESULT result = 0;
  if (!self->Dispatch(message, wparam, lparam, &result)) return FALSE;
  // These few messages return their result directly from a dialog procedure;
  // all others through DWLP_MSGRESULT.
  switch (message) {
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
      return static_cast<INT_PTR>(result);
    default:
      SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
      return TRUE;
  }
}
