#pragma once
// The tracker's exchangeable collaborators: the XML writer and the statistics HTTP request. The tracker
// knows them only through these abstract classes and makes one fresh object per use through a class
// reference (a factory function), so that another implementation can be put in without touching it.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include "statistics/StatUtils.h"

// Proxy settings of every request of the tracker: the system's Internet settings, a direct connection,
// or a named proxy with credentials. Copying copies all six values.
struct TStatProxySettings {
  std::wstring Address;
  std::int32_t Port = 0;
  bool AutoDetectProxy = true;
  std::wstring UserName;
  std::wstring Password;
  std::wstring Domain;

  void Assign(const TStatProxySettings& source) { *this = source; }
  bool operator==(const TStatProxySettings&) const = default;
};

// Writes elements and attributes one after the other; checks nothing (nesting, names).
class TStatXmlWriter {
public:
  virtual ~TStatXmlWriter() = default;
  virtual void StartElement(std::wstring_view name) = 0;
  // Closes the innermost open element.
  virtual void EndElement(std::wstring_view name) = 0;
  // Adds an attribute to the start tag that is open; the value is escaped, the name is not.
  virtual void WriteAttribute(std::wstring_view name, std::wstring_view value) = 0;
  // The text written so far; may be taken more than once.
  virtual std::wstring GetText() const = 0;
};
using TStatXmlWriterClass = std::unique_ptr<TStatXmlWriter> (*)();

// Outcome of one statistics exchange.
enum TStatHttpResult : std::uint8_t {
  hrOK = 0,                          // status 200, the reply is in Response
  hrNoConnection = 1,                // the server could not be reached (12029)
  hrHttpError = 2,                   // any other failure, a cancel included
  hrProxyAuthRequired = 3,           // status 401 or 407
  hrProxyNameResolutionFailure = 4,  // a named proxy whose name cannot be resolved (12007)
};

// One POST exchange with the statistics service. Execute raises nothing and leaves Response empty on
// every failure; Cancel may be called from another thread while Execute runs, or when nothing runs.
class TStatHttpRequest {
public:
  virtual ~TStatHttpRequest() = default;
  virtual TStatHttpResult Execute(const std::wstring& url, const TStatProxySettings& proxySettings,
                                  TStatBytes& response, const TStatBytes& data) = 0;
  virtual void Cancel() = 0;
};
using TStatHttpRequestClass = std::unique_ptr<TStatHttpRequest> (*)();
