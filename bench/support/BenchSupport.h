#pragma once
// Small helpers the benchmark programs share: a millisecond clock, file sizes, the peak working set,
// and the reference every download is held against: a bare WinINet read loop.
#include <windows.h>
#include <string>

// Milliseconds on the performance counter (fractions included); only differences mean anything.
double NowMs();

// -1 when the file does not exist.
long long FileSize(const std::wstring& fileName);

SIZE_T PeakWorkingSet();

// The platform's own download, nothing around it: one session, a POST with an empty body as the
// wizard sends it, 16384-byte reads written straight into the file. No thread, no window, no progress.
// Returns false with the system's text in errorText when the exchange cannot be made.
bool DownloadBare(const std::wstring& url, const std::wstring& fileName, std::wstring& errorText);

// A POST of the body with the wizard's request flags (secure for https addresses), the reply read
// into memory. Returns false with the system's text on failure.
bool PostBare(const std::wstring& url, const std::string& body, std::string& reply, std::wstring& errorText);
