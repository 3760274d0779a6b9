#pragma once
// Text helpers shared by every layer. Texts are UTF-16 std::wstring.
#include <string>
#include <string_view>
#include <vector>
#include <initializer_list>

// Removes every character of code 32 or less from both ends.
std::wstring Trim(std::wstring_view text);
// Lower-cases the ASCII letters A-Z only.
std::wstring LowerAscii(std::wstring_view text);
bool SameTextAscii(std::wstring_view a, std::wstring_view b);

std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view bytes);
// The system's ANSI code page (CP_ACP).
std::string WideToAnsi(std::wstring_view text);
std::wstring AnsiToWide(std::string_view bytes);

// The system's text for a Windows error code, without trailing blanks, line breaks and full stops.
// The module, when given, is searched first (WinINet keeps its texts in wininet.dll).
std::wstring SysErrorMessage(unsigned long code, const wchar_t* module = nullptr);

// Replaces each "%s" or "%d" of the format, in order, by the next argument ("%%" gives "%").
// Used with string resources; avoids the C runtime's differing ideas of what %s means.
std::wstring FormatText(std::wstring_view format, std::initializer_list<std::wstring_view> args);

// Integers as text, without the C runtime's printf (whose mingw version, with its floating-point
// formatting, is bigger than everything here together).
// Decimal with at least minDigits digits after the sign, as printf's "%.<minDigits>d".
std::wstring IntToStr(long long value, int minDigits = 1);
// Upper-case hexadecimal with at least minDigits digits, as printf's "%0<minDigits>X".
std::wstring IntToHex(unsigned long long value, int minDigits);
