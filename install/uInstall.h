#pragma once
// The installation step: where the installer is downloaded to, its silent run on a worker thread while
// the window keeps handling messages, and the start of the installed application.
#include <windows.h>
#include <string>
#include "framework/Thread.h"

// A fresh name "tl_<hex>.exe" in the user's temporary folder. The system creates the empty "tl_<hex>.tmp"
// that reserves the name; it stays. Raises EOSError when no name can be made.
std::wstring MakeInstallerTempName();

// Runs the installer silently and waits for it while handling the GUI thread's messages. errorText is
// cleared first; true when it is still empty afterwards, otherwise it says why the installation failed.
bool RunInstallerModal(const std::wstring& installerPath, std::wstring& errorText);

// Runs one installer and waits for it; created suspended.
class TInstallThread : public TThread {
public:
  explicit TInstallThread(std::wstring installerPath) : InstallerPath(std::move(installerPath)) {}
  // Waits for a started installer run: the thread uses the path and the caller's variable until it ends.
  ~TInstallThread() override { EndBeforeDestruction(); }

  std::wstring* ErrorTextOut = nullptr;  // the caller's variable, not owned; written only before the end
  std::wstring InstallerPath;

protected:
  void Execute() override;
};

// Starts the command line with a hidden window and waits for the process. Returns its exit code;
// raises EOSError when the process cannot be started or waited for.
DWORD RunProcessAndWait(const std::wstring& commandLine);

// Starts the command line without waiting; a failure is ignored.
void StartProcess(const std::wstring& commandLine);

// The installed application's full path from the product's uninstall entry, or empty when the key, the
// value or the file is missing.
std::wstring InstalledApplicationPath();

// Starts the installed application when it can be found; reports nothing.
void StartInstalledApplication() noexcept;
