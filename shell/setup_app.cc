#include "shell/setup_app.h"

#include "logic/log.h"
#include "logic/log_texts.h"
#include "logic/text.h"
#include "shell/setup_dlg.h"

CSetupApp theApp;

BOOL CSetupApp::InitInstance() {
  {
    CSetupDlg dlg(nullptr);
    m_pMainWnd = &dlg;
    // kSetupFinished after the worker's finish request; otherwise not used. A dialog that
    // cannot even be created (no desktop to create it on) must not end the
    // program without a word in the log.
    if (dlg.DoModal() == -1) {
      DWORD error = GetLastError();
      if (!logic::g_szLogPath[0]) logic::SetLogPathFromTempDirectory();
      logic::WriteLog(logic::g_szLogPath, logic::StringPrintf(logic::log_text::kDialogFailed, error).c_str());
    }
    // Leaving the scope waits for the worker: its copy is never cut short and
    // its END line is always written, however the modal run ended.
  }
  m_pMainWnd = nullptr;
  return FALSE;
}
