// The setup dialog: never shown; it owns the main thread's message loop while
// the install worker runs, and ends when the worker asks it to.
#ifndef PATHWARDEN_SHELL_SETUP_DLG_H_
#define PATHWARDEN_SHELL_SETUP_DLG_H_

#include "platform/process.h"
#include "shell/framework.h"
#include "shell/resource.h"

class CSetupDlg : public CDialog {
 public:
  enum { IDD = IDD_SETUP_DIALOG };

  explicit CSetupDlg(CWnd* parent);
  // Waits for the install worker, if one was started (m_worker's destructor).
  ~CSetupDlg() override = default;

 protected:
  const MessageMap* GetMessageMap() const override;
  void DoDataExchange() override {}
  BOOL OnInitDialog() override;

  void OnPaint();
  HCURSOR OnQueryDragIcon();
  LRESULT OnFinish(WPARAM wparam, LPARAM lparam);
  void OnWindowPosChanging(WINDOWPOS* pos);

  HICON m_hIcon;

 private:
  static const MessageMapEntry kMessageEntries[];
  static const MessageMap kMessageMap;

  platform::ScopedThread m_worker;
};

#endif  // PATHWARDEN_SHELL_SETUP_DLG_H_
