// The entry of setup.exe; everything else lives in the shell library.
#include <windows.h>

#include "shell/framework.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return RunApplication(); }
