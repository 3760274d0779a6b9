// Stands in for the product's installer in tests. Run with "/VERYSILENT" it installs the application
// stand-in it carries (resource APP_STANDIN) as "Mercantix_Manager.exe" into the folder named by the
// environment variable TL_INSTALL_DIR (default "%ProgramFiles%\Tradeloom") and registers that folder as
// "Inno Setup: App Path" of the product's uninstall key, as the real installer does.
//
// Each run appends its command line to "installer_standin.log" beside itself, or in the folder named by the
// environment variable TL_STANDIN_FOLDER (the wizard runs it from a folder of its own that tests cannot
// know beforehand), and writes its temporary and current folders to "installer_standin.where" there. Its
// behaviour can be changed by words in its own file name (e.g. "setup_exit3.exe") or in a file
// "installer_standin.cfg" in that same folder:
//   exit<N>   end with exit code N without installing
//   noop      end with exit code 0 without installing
//   reboot    install, then end with exit code 3010 (installed, Windows must restart to finish)
//   sleep<N>  wait N milliseconds first (N at most 60000)
//   view32, view64  register in that registry view (an installer in 32-bit or 64-bit mode), not its own
// Without "/VERYSILENT" it would have shown its own wizard: it installs nothing and ends with exit code 2.
#include <windows.h>
#include <shlobj.h>
#include <algorithm>
#include <cwctype>
#include <string>
#include "framework/Handles.h"

namespace {
constexpr wchar_t kUninstallKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{C5D3E1A0-7B2F-4C69-9E84-31F0A6D2B7C5}_is1";
constexpr DWORD kMaxSleepMs = 60000;

struct TMode {
  bool Install = true;
  DWORD ExitCode = 0;
  DWORD SleepMs = 0;
  REGSAM View = 0;
};

std::wstring OwnPath() {
  wchar_t path[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, n);
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\') + 1); }

std::string ReadSmallFile(const std::wstring& path) {
  TFileHandle in(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!in) return {};
  char buffer[1024];
  DWORD got = 0;
  if (!::ReadFile(in.Get(), buffer, sizeof(buffer), &got, nullptr)) return {};
  return std::string(buffer, got);
}

bool AppendFile(const std::wstring& path, const std::string& bytes) {
  TFileHandle out(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return out && ::WriteFile(out.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool WriteWholeFile(const std::wstring& path, const void* data, DWORD size) {
  TFileHandle out(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return out && ::WriteFile(out.Get(), data, size, &written, nullptr) && written == size;
}

std::string ToUtf8(const std::wstring& text) {
  int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(n, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  return bytes;
}

// Applies the words "exit<N>", "noop" and "sleep<N>" found in the text (letters and digits form words).
void ApplyModeWords(const std::wstring& text, TMode& mode) {
  std::wstring word;
  auto apply = [&mode](const std::wstring& w) {
    auto number = [&w](size_t from) { return static_cast<DWORD>(std::wcstoul(w.c_str() + from, nullptr, 10)); };
    if (w == L"noop") mode.Install = false;
    else if (w == L"reboot") mode.ExitCode = 3010;
    else if (w == L"view32") mode.View = KEY_WOW64_32KEY;
    else if (w == L"view64") mode.View = KEY_WOW64_64KEY;
    else if (w.size() > 4 && w.compare(0, 4, L"exit") == 0 && std::iswdigit(w[4])) {
      mode.ExitCode = number(4);
      mode.Install = false;
    } else if (w.size() > 5 && w.compare(0, 5, L"sleep") == 0 && std::iswdigit(w[5]))
      mode.SleepMs = std::min(number(5), kMaxSleepMs);
  };
  for (wchar_t ch : text + L" ") {
    if (std::iswalnum(ch)) word += static_cast<wchar_t>(std::towlower(ch));
    else if (!word.empty()) { apply(word); word.clear(); }
  }
}

std::wstring InstallFolder() {
  wchar_t buffer[MAX_PATH] = {};
  DWORD n = ::GetEnvironmentVariableW(L"TL_INSTALL_DIR", buffer, MAX_PATH);
  if (n > 0 && n < MAX_PATH) return buffer;
  n = ::ExpandEnvironmentStringsW(L"%ProgramFiles%\\Tradeloom", buffer, MAX_PATH);
  return n > 0 && n <= MAX_PATH ? buffer : L"C:\\Program Files\\Tradeloom";
}

bool ExtractApplication(const std::wstring& target) {
  HRSRC info = ::FindResourceW(nullptr, L"APP_STANDIN", MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  HGLOBAL loaded = info ? ::LoadResource(nullptr, info) : nullptr;
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  return data && WriteWholeFile(target, data, ::SizeofResource(nullptr, info));
}

bool RegisterInstallFolder(const std::wstring& folder, REGSAM view) {
  TRegKey key;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0, KEY_WRITE | view, nullptr, key.Out(), nullptr) !=
      ERROR_SUCCESS)
    return false;
  auto setString = [&key](const wchar_t* name, const std::wstring& value) {
    return ::RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  };
  return setString(L"Inno Setup: App Path", folder) && setString(L"DisplayName", L"Tradeloom for Mercantix");
}

bool Install(REGSAM view) {
  std::wstring folder = InstallFolder();
  int created = ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS) return false;
  return ExtractApplication(folder + L"\\Mercantix_Manager.exe") && RegisterInstallFolder(folder, view);
}

bool IsVerySilent() {
  for (int i = 1; i < __argc; ++i)
    if (::lstrcmpiW(__wargv[i], L"/VERYSILENT") == 0) return true;
  return false;
}

// Where the log and the settings are.
std::wstring NotesFolder(const std::wstring& own) {
  wchar_t buffer[MAX_PATH] = {};
  DWORD n = ::GetEnvironmentVariableW(L"TL_STANDIN_FOLDER", buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer) + L"\\" : FolderOf(own);
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  std::wstring own = OwnPath();
  const std::wstring notes = NotesFolder(own);
  AppendFile(notes + L"installer_standin.log", ToUtf8(::GetCommandLineW()) + "\n");
  wchar_t temp[MAX_PATH] = {}, current[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  ::GetCurrentDirectoryW(MAX_PATH, current);
  const std::string where = ToUtf8(std::wstring(temp) + L"|" + current + L"\n");
  WriteWholeFile(notes + L"installer_standin.where", where.data(), static_cast<DWORD>(where.size()));
  TMode mode;
  ApplyModeWords(own.substr(FolderOf(own).size()), mode);
  std::string settings = ReadSmallFile(notes + L"installer_standin.cfg");  // ASCII words
  ApplyModeWords(std::wstring(settings.begin(), settings.end()), mode);
  if (mode.SleepMs) ::Sleep(mode.SleepMs);
  if (!IsVerySilent()) return 2;
  if (!mode.Install) return static_cast<int>(mode.ExitCode);
  return Install(mode.View) ? static_cast<int>(mode.ExitCode) : 1;
}
