// The smallest application framework the setup program needs, on plain Win32:
// an application object whose InitInstance the entry calls, and a dialog
// class with a modal run and a message map kept as a table.
#ifndef PATHWARDEN_SHELL_FRAMEWORK_H_
#define PATHWARDEN_SHELL_FRAMEWORK_H_

#include <windows.h>

#include <stddef.h>

class CDialog;

// One row of a message map: a message and the thunk that calls its handler.
// The thunk returns the handler's result; a handler that wants the dialog
// manager's default processing calls CDialog::Default().
struct MessageMapEntry {
  UINT message;
  LRESULT (*dispatch)(CDialog* dialog, WPARAM wparam, LPARAM lparam);
};

// A class's message map: its own rows, then its base class's map.
struct MessageMap {
  const MessageMap* base;
  const MessageMapEntry* entries;
  size_t count;
};

class CWnd {
 public:
  virtual ~CWnd() = default;
  HWND GetSafeHwnd() const { return m_hWnd; }

 protected:
  HWND m_hWnd = nullptr;
};

class CDialog : public CWnd {
 public:
  CDialog(UINT template_id, CWnd* parent);
  ~CDialog() override = default;

  // Creates the dialog from its template and handles its messages until
  // EndDialog; the window is destroyed before this returns. Returns the
  // number given to EndDialog, or -1 if the dialog could not be created.
  INT_PTR DoModal();
  // Ends the modal run after the current handler returns.
  void EndDialog(int result);

 protected:
  virtual const MessageMap* GetMessageMap() const;
  virtual void DoDataExchange() {}
  virtual BOOL OnInitDialog();
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }

  // Asks for the dialog manager's default processing of the current message.
  void Default() { m_bDefault = true; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  bool Dispatch(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);

  UINT m_nTemplate;
  CWnd* m_pParent;
  bool m_bDefault = false;
};

class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();

  virtual BOOL InitInstance() { return FALSE; }

  CWnd* m_pMainWnd = nullptr;
};

// The whole program after the entry: confines DLL loading to the system
// directory, runs the application's InitInstance, and returns the exit code.
int RunApplication();

#endif  // PATHWARDEN_SHELL_FRAMEWORK_H_
