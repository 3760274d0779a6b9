#pragma once
// The application object: message pumping, idle wait, the hand-over of calls from workers to the
// GUI thread, and the default error report for errors that escape a handler.
#include <windows.h>
#include <functional>
#include <string>
#include "framework/Guarded.h"

class TApplication {
public:
  TApplication();
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // COM on the GUI thread, common controls v6 classes, the hand-over window. Raises EOSError when the
  // hand-over window cannot be made.
  void Initialize();
  HINSTANCE Instance() const { return FInstance; }
  DWORD MainThreadID() const { return FMainThreadID; }

  const std::wstring& Title() const { return FTitle; }
  void SetTitle(const std::wstring& title) { FTitle = title; }
  HWND MainWindow() const { return FMainWindow; }
  // The program's main form, once created (not owned).
  class TForm* MainForm() const { return FMainForm; }
  void SetMainForm(class TForm* form) { FMainForm = form; }
  // The hidden message-only window of the GUI thread (hand-overs, timers).
  HWND UtilityWindow() const { return FSyncWindow; }
  void SetMainWindow(HWND wnd) { FMainWindow = wnd; }

  // Handles one message of the queue; when the queue is empty, waits until something arrives
  // (a message or a hand-over from a worker). Returns false once WM_QUIT has been seen.
  bool HandleMessage();
  // Handles the messages that are pending now, without waiting; returns after kProcessMessagesBudgetMs
  // even when the queue refills as fast as it is handled.
  void ProcessMessages();
  // Handles messages while waiting for the handle to become signalled.
  void WaitPumping(HANDLE handle);
  // Like WaitPumping but gives up after timeoutMs, or as soon as stop (when given) answers true. The
  // handle, stop and the time-out are looked at after every single message, so that no burst of
  // messages holds the wait. True when the handle was signalled.
  bool WaitPumping(HANDLE handle, DWORD timeoutMs, const std::function<bool()>& stop = nullptr);
  void Run();
  bool Terminated() const { return FTerminated; }
  void Terminate();

  // The default error report: a message box with the error's message, or OnException when it is set.
  // An error reported while a report shows is dropped, not shown on top of it.
  void ShowException(const std::wstring& message);
  std::function<void(const std::wstring& message)> OnException;
  static constexpr DWORD kProcessMessagesBudgetMs = 50;

  // Worker side of Synchronize: posts the call to the GUI thread and waits until it has run. Raises
  // EOSError when it cannot be posted (also before Initialize); it never runs on the worker.
  void SyncCall(const std::function<void()>& call);

private:
  static LRESULT CALLBACK SyncWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
  bool DispatchOne(MSG& msg);
  // Takes one message from the queue, if there is one, and handles it; a WM_QUIT is kept for the main loop.
  void HandleOneWhileWaiting(bool& quit, WPARAM& quitCode);
  HINSTANCE FInstance;
  DWORD FMainThreadID;
  HWND FSyncWindow = nullptr;
  HWND FMainWindow = nullptr;
  class TForm* FMainForm = nullptr;
  std::wstring FTitle;
  bool FTerminated = false;
  bool FComInitialized = false;
  bool FShowingException = false;
};

// The single application object of the process (created by the program's entry or a test's main).
extern TApplication* Application;
