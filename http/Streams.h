#pragma once
// The byte sinks a download is written to.
#include <windows.h>
#include <cstddef>
#include <string>
#include "framework/Handles.h"

class TStream {
public:
  virtual ~TStream() = default;
  // Writes all bytes or raises the stream's own error.
  virtual void Write(const void* data, size_t count) = 0;
  // Empties the stream, for a download that starts over; raises the stream's own error.
  virtual void Truncate() = 0;
};

// Writes all bytes to the open file at its position, or empties it; raise EOSError with the system's text.
void WriteToFile(HANDLE file, const void* data, size_t count);
void TruncateFile(HANDLE file);

// Writes to an open file, which it owns and closes.
class TFileStream : public TStream {
public:
  explicit TFileStream(TFileHandle file) : FFile(std::move(file)) {}
  void Write(const void* data, size_t count) override { WriteToFile(FFile.Get(), data, count); }
  void Truncate() override { TruncateFile(FFile.Get()); }
  HANDLE Handle() const { return FFile.Get(); }
private:
  TFileHandle FFile;
};

// Collects the bytes in memory.
class TMemoryStream : public TStream {
public:
  void Write(const void* data, size_t count) override { FData.append(static_cast<const char*>(data), count); }
  void Truncate() override { FData.clear(); }
  const std::string& Data() const { return FData; }
private:
  std::string FData;
};
