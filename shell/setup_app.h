// The application object: runs the hidden setup dialog and ends with it.
#ifndef PATHWARDEN_SHELL_SETUP_APP_H_
#define PATHWARDEN_SHELL_SETUP_APP_H_

#include "shell/framework.h"

class CSetupApp : public CWinApp {
 public:
  CSetupApp() = default;
  ~CSetupApp() override = default;

  // Runs the dialog modally and waits for its worker; returns FALSE so that
  // the program ends without a message loop of its own.
  BOOL InitInstance() override;
};

extern CSetupApp theApp;

#endif  // PATHWARDEN_SHELL_SETUP_APP_H_
