// The product's firmware update tool; this one only says so.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  MessageBoxW(nullptr, L"The firmware is up to date.", L"Firmware update",
              MB_OK | MB_ICONINFORMATION);
  return 0;
}
