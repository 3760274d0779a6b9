#pragma once
// Where an open file really is, for the checks that nothing a link leads to is taken for what was asked.
#include <windows.h>
#include <string>
#include <string_view>

// The final path of an open file or folder (links resolved) without the "\\?\" prefix ("\\?\UNC\" becomes
// "\\"); empty where the system cannot tell (GetFinalPathNameByHandleW is looked up: Vista on).
std::wstring FinalPathOf(HANDLE file);

// Marks a file or an empty folder opened with DELETE access to be deleted when its last handle closes;
// nobody can open it in between, and no name is looked up again.
bool DeleteWhenClosed(HANDLE file);

// Whether two full paths name the same file: the same text but for the case of its letters and a "\\?\"
// prefix. An empty path matches nothing.
bool SamePath(std::wstring_view a, std::wstring_view b);
