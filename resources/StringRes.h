#pragma once
// Loads texts from the program's string table.
#include <windows.h>
#include <string>

// The string resource of the running program with this id; empty when there is none.
std::wstring LoadStr(UINT id);
