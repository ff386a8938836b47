// The HTTP transport of the online services: a reachability test and a form
// post to the product's web service, over plain Winsock.
//
// Every step is bounded: the name lookup and the connect, each wait for the
// socket to take or give bytes, and the whole exchange have time-outs, and an
// event set by another thread cancels the exchange at once (the socket is
// closed). The system's resolver has neither a time-out nor a cancel, so the
// lookup runs on a thread of its own that the exchange abandons at its bounds;
// that thread ends by itself later and keeps our library loaded until then.
// A name under the reserved top-level domain "invalid" fails at once.
//
// The request is HTTP/1.0 with the headers Host, Content-Type, Content-Length
// and Connection only: no proxy, no redirects, nothing about the machine or
// its user. Only a 2xx answer succeeds; its body is capped at 1 MiB. Every
// failure raises EHttpError, and a caller on a worker thread turns it into a
// failed request.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ZvError.h"

namespace zv {

class EHttpError : public EZvError {
public:
  using EZvError::EZvError;
};

struct THttpEndpoint {
  std::wstring Host;
  uint16_t Port = 80;
  DWORD ConnectTimeoutMs = 10000;
  DWORD IoTimeoutMs = 15000;        // each wait for the socket to take or give bytes
  DWORD ExchangeTimeoutMs = 30000;  // the whole request, connect included
};

// Where the services go: the product's web service on port 80, unless a test
// has set another endpoint.
THttpEndpoint ServiceEndpoint();
// For tests only (a loopback server); none puts the product's service back.
void SetServiceEndpoint(const std::optional<THttpEndpoint>& endpoint);

// The service's script; the tests' loopback server also answers other paths.
inline constexpr char ServicesPath[] = "/services.php";
// The largest answer body taken.
inline constexpr size_t MaxAnswerBodySize = 1024 * 1024;

using TFormFields = std::vector<std::pair<std::wstring, std::wstring>>;

// name=value pairs joined by "&"; names and values in UTF-8 with every byte
// but A-Z a-z 0-9 - . _ * percent-encoded and the space as "+", so that no
// text can add or break a field.
std::string EncodeFormFields(const TFormFields& fields);

// Winsock started for this library while any instance lives; every exchange
// holds one. The library's threads share a single start, taken and released
// under a lock: Wine's count of starts is not thread-safe, and two threads
// starting and cleaning up at once can bring it to zero, which closes every
// socket of the process.
class TWinsockUse {
public:
  TWinsockUse();
  ~TWinsockUse();
  TWinsockUse(const TWinsockUse&) = delete;
  TWinsockUse& operator=(const TWinsockUse&) = delete;
};

class THttpClient {
public:
  // cancel: an event that, once set, ends any step of this client at once; may be null.
  THttpClient(THttpEndpoint endpoint, HANDLE cancel);

  // Opens a TCP connection to the service and closes it again.
  void CheckReachable();
  // Posts the fields as application/x-www-form-urlencoded to the path on the
  // service's host and returns the answer's body.
  std::string PostForm(const char* path, const TFormFields& fields);

private:
  THttpEndpoint FEndpoint;
  HANDLE FCancel;
};

// For tests only: called on the name lookup's own thread before the system's
// resolver is asked; a hook that waits stands for a slow name server.
inline std::atomic<void (*)(const wchar_t* host)> NameLookupHook{nullptr};

// One request to the service as both workers make it: the reachability test,
// then the post of the fields to its script. Gives the answer's body.
std::string RequestService(const TFormFields& fields, HANDLE cancel);

}  // namespace zv
