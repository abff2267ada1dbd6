#include "shell/setup_app.h"

#include "shell/setup_dlg.h"

CSetupApp theApp;

BOOL CSetupApp::InitInstance() {
  {
    CSetupDlg dlg(nullptr);
    m_pMainWnd = &dlg;
    dlg.DoModal();  // 5 after the worker's finish request; not used
    // Leaving the scope waits for the worker: its copy is never cut short and
    // its END line is always written, however the modal run ended.
  }
  m_pMainWnd = nullptr;
  return FALSE;
}
