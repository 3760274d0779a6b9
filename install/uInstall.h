#pragma once
// The installation step: where the installer is downloaded to, its silent run on a worker thread while
// the window keeps handling messages, and the start of the installed application.
#include <windows.h>
#include <functional>
#include <string>
#include <string_view>
#include <vector>
#include "framework/Handles.h"
#include "framework/Thread.h"
#include "http/Streams.h"

// The wizard runs with administrator rights; every other program of the same user does not, and can write
// wherever that user can (the temporary folder among them). So the installer never lives there: it gets a
// folder of its own that only administrators can change, and one handle holds the file from its creation to
// the installer's start, so that what was downloaded is what is checked, and what was checked is what runs.
class TInstallerFile : public TStream {
public:
  // Where the folder may be made, in order: the Windows temporary folder, then the common application-data
  // folder. Never the user's own folders.
  static std::vector<std::wstring> ProtectedParents();
  // Makes the folder (a new, unpredictable name; protected, nothing inherited) and creates "tl_<hex>.exe"
  // new in it. Raises an Exception with a text for the user when no such folder can be made.
  TInstallerFile() : TInstallerFile(ProtectedParents(), RandomName) {}
  // The same with other parents and names (tests).
  TInstallerFile(const std::vector<std::wstring>& parents, const std::function<std::wstring()>& folderName);
  ~TInstallerFile() override { Remove(); }
  TInstallerFile(const TInstallerFile&) = delete;
  TInstallerFile& operator=(const TInstallerFile&) = delete;

  const std::wstring& Path() const noexcept { return FPath; }
  const std::wstring& Folder() const noexcept { return FFolderPath; }

  // The download writes through the held handle (any thread); EOSError once the file is sealed or removed.
  void Write(const void* data, size_t count) override;
  void Truncate() override;
  // After the download: the one handle becomes a reader that lets nobody write, rename or delete the file.
  // Raises EOSError when that cannot be had (another process holds the file).
  void Seal();
  // Runs the call with the sealed file's handle while Remove waits for it (a signature check on a worker).
  template <typename Call>
  auto UseSealed(Call call) {
    TLock lock(*this, INFINITE);
    return call(SealedHandle());
  }
  // Starts the sealed installer with this command line and a hidden window, suspended, and lets it run only
  // when its image is this very file. Its temporary files go into this folder; its current folder is the
  // system folder. Returns the process; raises when it cannot start or is not the file.
  THandle Start(const std::wstring& commandLine);
  // The file and the folder go, through their handles: at once where nothing uses them, otherwise (the
  // installer still runs, a check does not end) at the next restart. Any thread; once.
  void Remove() noexcept;

  static std::wstring RandomName();
  static constexpr DWORD kRemoveWaitMs = 1000;  // the longest a close waits for a check in progress

private:
  class TLock {
  public:
    TLock(TInstallerFile& owner, DWORD timeoutMs);
    ~TLock();
    explicit operator bool() const { return FHeld; }
  private:
    TInstallerFile& FOwner;
    bool FHeld;
  };
  enum class TState { Writing, Sealed, Removed };
  bool MakeFolder(const std::wstring& parent, const std::wstring& name);
  HANDLE SealedHandle() const;
  bool InstallerRunning() const;
  bool DeleteFileNow();
  void ScheduleRemoval() noexcept;

  std::wstring FFolderPath, FPath;
  TFileHandle FFolder, FFile;
  BY_HANDLE_FILE_INFORMATION FIdentity{};  // of the file as created: a later open must find the same one
  THandle FLockHandle{::CreateMutexW(nullptr, FALSE, nullptr)};  // a mutex: a close's wait for it is bounded
  TState FState = TState::Writing;
  THandle FProcess;  // the started installer
};

// The installer's exit code for "installed, but Windows must restart to finish" (ERROR_SUCCESS_REBOOT_REQUIRED).
constexpr DWORD kRestartRequiredExitCode = 3010;

// Runs the sealed installer silently and waits for it while handling the GUI thread's messages. errorText is
// cleared first; true when it is still empty afterwards, otherwise it says why the installation failed.
// restartRequired (when given) tells whether the installation needs a restart of Windows to finish; the
// installer never restarts Windows itself.
bool RunInstallerModal(TInstallerFile& installer, std::wstring& errorText, bool* restartRequired = nullptr);

// Restarts Windows the ordinary way (programs are asked to close), for a planned application installation.
// False when Windows refuses.
bool RestartWindows();

// Runs one installer and waits for it; created suspended.
class TInstallThread : public TThread {
public:
  explicit TInstallThread(TInstallerFile& installer) : InstallerPath(installer.Path()), FInstaller(installer) {}
  // Waits for a started installer run: the thread uses the installer and the caller's variable until it ends.
  ~TInstallThread() override { EndBeforeDestruction(); }

  std::wstring* ErrorTextOut = nullptr;  // the caller's variable, not owned; written only before the end
  bool* RestartRequiredOut = nullptr;     // likewise
  std::wstring InstallerPath;

protected:
  void Execute() override;

private:
  TInstallerFile& FInstaller;  // not owned
};

// Starts a process (application path and command line; hidden or shown; creation flags). Returns 0 with both
// handles in info, or the error code of the failed start.
DWORD LaunchProcess(const wchar_t* application, const std::wstring& commandLine, WORD showWindow, DWORD flags,
                    PROCESS_INFORMATION& info, const wchar_t* environment = nullptr,
                    const wchar_t* currentFolder = nullptr);

// The environment block (NUL-separated, ending with two NULs) with TEMP and TMP naming the folder instead.
std::wstring EnvironmentWithTemp(const wchar_t* environment, const std::wstring& folder);

// Waits for a started process and returns its exit code; raises EOSError when it cannot be waited for.
DWORD WaitForExitCode(HANDLE process);

// Starts the command line without waiting; a failure is ignored.
void StartProcess(const std::wstring& commandLine);

// The installed application's full path from the product's uninstall entry, or empty when the key, the
// value or the file is missing.
std::wstring InstalledApplicationPath();

// Starts the file through the desktop shell of the signed-in user, so that it runs with that user's
// ordinary rights, not the wizard's. False when no desktop shell answers or it could not start the file.
bool ShellExecuteAsUser(const std::wstring& file);

// Starts the installed application when it can be found, as the user; reports nothing.
void StartInstalledApplication() noexcept;
