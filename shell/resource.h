// Resource identifiers of setup.exe.
#ifndef PATHWARDEN_SHELL_RESOURCE_H_
#define PATHWARDEN_SHELL_RESOURCE_H_

#define IDD_SETUP_DIALOG 102
#define IDI_SETUP_ICON 130

#endif  // PATHWARDEN_SHELL_RESOURCE_H_
