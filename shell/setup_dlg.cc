#include "shell/setup_dlg.h"

#include "logic/install.h"

const MessageMapEntry CSetupDlg::kMessageEntries[] = {
    {WM_PAINT,
     [](CDialog* d, WPARAM, LPARAM) -> LRESULT {
       static_cast<CSetupDlg*>(d)->OnPaint();
       return 0;
     }},
    {WM_QUERYDRAGICON,
     [](CDialog* d, WPARAM, LPARAM) -> LRESULT {
       return reinterpret_cast<LRESULT>(static_cast<CSetupDlg*>(d)->OnQueryDragIcon());
     }},
    {logic::WM_SETUP_FINISH,
     [](CDialog* d, WPARAM w, LPARAM l) -> LRESULT { return static_cast<CSetupDlg*>(d)->OnFinish(w, l); }},
    {WM_WINDOWPOSCHANGING,
     [](CDialog* d, WPARAM, LPARAM l) -> LRESULT {
       static_cast<CSetupDlg*>(d)->OnWindowPosChanging(reinterpret_cast<WINDOWPOS*>(l));
       return 0;
     }},
};

const MessageMap CSetupDlg::kMessageMap = {nullptr, kMessageEntries,
                                           sizeof kMessageEntries / sizeof kMessageEntries[0]};

CSetupDlg::CSetupDlg(CWnd* parent)
    : CDialog(IDD, parent), m_hIcon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_SETUP_ICON))) {}

const MessageMap* CSetupDlg::GetMessageMap() const { return &kMessageMap; }

BOOL CSetupDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

  if (!logic::OpenSetupDialog(reinterpret_cast<platform::Window>(m_hWnd), &m_worker)) EndDialog(IDCANCEL);
  return TRUE;
}

void CSetupDlg::OnPaint() {
  if (!IsIconic(m_hWnd)) {
    Default();
    return;
  }
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(m_hWnd, &ps);
  SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT rect;
  GetClientRect(m_hWnd, &rect);
  int x = (rect.right - rect.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  int y = (rect.bottom - rect.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, m_hIcon);
  EndPaint(m_hWnd, &ps);
}

HCURSOR CSetupDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

LRESULT CSetupDlg::OnFinish(WPARAM, LPARAM) {
  logic::FinishSetupDialog([](void* self, int result) { static_cast<CSetupDlg*>(self)->EndDialog(result); }, this);
  return 0;
}

void CSetupDlg::OnWindowPosChanging(WINDOWPOS* pos) {
  // Every attempt to show the window, the modal run's own included, becomes
  // a plain move: the dialog stays hidden for its whole life.
  pos->flags &= ~SWP_SHOWWINDOW;
  Default();
}
