// A second process for the marker tests: holds "proc-<own id>" in the given folder open the way a
// running tracker does (writing, reading shared), until the named event is set or 30 s have passed,
// then ends without deleting it, like a run that never finished.
#include <windows.h>
#include <string>
#include "framework/Handles.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring fileName = std::wstring(argv[1]) + L"\\proc-" + std::to_wstring(::GetCurrentProcessId());
  TFileHandle file(::CreateFileW(fileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 3;
  const char record[] =
      "<event name=\"app-failure\" dt=\"2011-09-09T16:23:13\" ord=\"2147483647\" installation=\"held\" "
      "execution=\"held-run\" value=\"00:00:05\"/>\r\n";
  DWORD written = 0;
  ::WriteFile(file.Get(), record, sizeof(record) - 1, &written, nullptr);
  THandle release(::CreateEventW(nullptr, TRUE, FALSE, argv[2]));
  ::WaitForSingleObject(release.Get(), 30000);
  return 0;
}
