#pragma once
// What the control units share among themselves; nothing outside framework/ includes it.

// The window class of every form: the form registers it, and only its windows show the program's icon.
inline constexpr wchar_t kFormClass[] = L"TradeloomForm";
