// The watch tests' writer, a process of its own: after DELAY milliseconds it
// sets the REG_QWORD value NAME of HKCU\PATH to the performance counter's
// reading just before the write, so that the waiting test can tell how long
// after the write its wait returned. Exit status 0 when the write succeeded.
//   watch_writer.exe PATH NAME DELAY
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  ::Sleep(static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return ::RegSetKeyValueW(HKEY_CURRENT_USER, argv[1], argv[2], REG_QWORD, &now.QuadPart, sizeof now.QuadPart) ? 1 : 0;
}
