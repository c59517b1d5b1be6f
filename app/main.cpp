#include <windows.h>

#include "app/core/startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return omb::RunHost(instance); }
