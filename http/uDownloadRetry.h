#pragma once
// The rules by which a download meets a bad network: which failures are worth another try, how long
// to wait before it, and whether the server's answer to a resumed request continues the same file.
#include <windows.h>
#include <string_view>

// How often and after how long a download tries again. The tries are counted in a row: a try that
// brings bytes the download did not have yet starts the count (and the waits) afresh, so a link that
// drops now and then still completes.
struct TRetryPolicy {
  int MaxRetries = 4;             // further tries in a row after a transient failure
  DWORD FirstDelayMs = 1000;      // wait before the first of them; doubled for each further one
  DWORD StallTimeoutMs = 30000;   // no byte for this long fails the try; 0: the system's own time-outs
  DWORD MaxRetryAfterMs = 60000;  // a server's Retry-After is followed up to this long
};
// One try, with the system's own time-outs: an exchange as it is without retries.
constexpr TRetryPolicy kNoRetries{0, 0, 0, 0};

// Dropped or reset connections, time-outs and broken replies may go away on the next try.
bool IsTransientWinInetError(DWORD code);
// Statuses of an overloaded or briefly failing server.
bool IsTransientStatus(DWORD status);

// The wait before try number tryInRow (1 = the first retry after a failure) of a run of tries in a row.
// The server's Retry-After (seconds, -1 when none) replaces the doubling wait, up to the policy's limit.
DWORD RetryDelayMs(const TRetryPolicy& policy, int tryInRow, long long retryAfterSeconds);
// The seconds of a Retry-After header: a number, or an HTTP date (the seconds from now until then,
// 0 when it has passed). -1 when it is neither.
long long RetryAfterSeconds(std::wstring_view value, const FILETIME& now);

// A Content-Range header "bytes first-last/total"; Total is -1 for "*".
struct TContentRange {
  long long First = -1;
  long long Last = -1;
  long long Total = -1;
};
// False when the text is not a byte range of that form.
bool ParseContentRange(std::wstring_view text, TContentRange& range);
// The 206 answer goes on exactly where the file ends (offset) and, when the whole length is known
// already, for a file of that same length.
bool ContinuesAt(const TContentRange& range, long long offset, long long knownTotal);
