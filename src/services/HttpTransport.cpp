// Winsock's headers go before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "services/HttpTransport.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include "frontend/TCUtilities.h"
#include "platform/Boundary.h"
#include "platform/TextConv.h"
#include "platform/WinHandle.h"

namespace zv {

namespace {

// The service's host name, kept scrambled so that it cannot be found and
// replaced by a plain text search of the binary.
constexpr auto ServiceHostScrambled = ScrambleString(ProductWebHost);

std::mutex EndpointLock;
std::optional<THttpEndpoint> EndpointOverride;

std::mutex WinsockLock;
int WinsockUsers = 0;  // guarded by WinsockLock

constexpr size_t MaxAnswerHeaderSize = 16 * 1024;
constexpr char HeaderEnd[] = "\r\n\r\n";

// A name lookup on a thread of its own, which the exchange waits for only as
// long as its own bounds allow. An abandoned lookup ends by itself later: its
// thread holds a reference on our library from before it starts, so an
// unload meanwhile never frees the code it returns into, and whichever of the
// two sides lets go last frees what they share.
class TNameLookup {
public:
  // Raises when no thread starts.
  TNameLookup(const std::wstring& host, uint16_t port) {
    auto shared = std::make_unique<TShared>();
    shared->Host = host;
    shared->Port = std::to_wstring(port);
    if (!shared->Done || !::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                               reinterpret_cast<LPCWSTR>(&ThreadProc), &shared->Module))
      throw EHttpError(L"The service's host cannot be looked up.");
    const HANDLE thread = ::CreateThread(nullptr, 0, &ThreadProc, shared.get(), 0, nullptr);
    if (!thread) {
      ::FreeLibrary(shared->Module);  // the caller's own reference keeps us loaded
      throw EHttpError(L"The service's host cannot be looked up.");
    }
    ::CloseHandle(thread);
    FShared = shared.release();
  }
  ~TNameLookup() { FShared->Release(); }
  TNameLookup(const TNameLookup&) = delete;
  TNameLookup& operator=(const TNameLookup&) = delete;

  // The addresses found, owned by this object; raises when the name is
  // unknown, the deadline passes first or cancel is set.
  const ADDRINFOW* Wait(HANDLE cancel, uint64_t deadline) {
    const uint64_t now = ::GetTickCount64();
    const HANDLE ends[2] = {FShared->Done.Get(), cancel};
    const DWORD waited =
        ::WaitForMultipleObjects(cancel ? 2 : 1, ends, FALSE, static_cast<DWORD>(deadline > now ? deadline - now : 0));
    if (waited == WAIT_TIMEOUT) throw EHttpError(L"The service's host was not found in time.");
    if (waited != WAIT_OBJECT_0) throw EHttpError(L"Cancelled.");
    if (FShared->Error != 0) throw EHttpError(L"The service's host is unknown.");
    return FShared->Result;
  }

private:
  struct TShared {
    std::wstring Host, Port;
    ADDRINFOW* Result = nullptr;
    int Error = WSAHOST_NOT_FOUND;
    TScopedKernelHandle Done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HMODULE Module = nullptr;
    std::atomic<int> Users{2};  // the waiting side and the thread

    void Release() {
      if (--Users > 0) return;
      if (Result) ::FreeAddrInfoW(Result);
      delete this;
    }
  };

  static DWORD WINAPI ThreadProc(void* parameter) {
    TShared* shared = static_cast<TShared*>(parameter);
    const HMODULE module = shared->Module;
    GuardBoundary([&] {
      // Its own start of Winsock: the waiting side's may end before the lookup does.
      const TWinsockUse winsock;
      if (auto hook = NameLookupHook.load()) hook(shared->Host.c_str());
      ADDRINFOW hints{};
      hints.ai_family = AF_UNSPEC;
      hints.ai_socktype = SOCK_STREAM;
      hints.ai_protocol = IPPROTO_TCP;
      shared->Error = ::GetAddrInfoW(shared->Host.c_str(), shared->Port.c_str(), &hints, &shared->Result);
    });
    ::SetEvent(shared->Done.Get());
    shared->Release();
    // Nothing of ours may run after this call: it may unload the library.
    ::FreeLibraryAndExitThread(module, 0);
  }

  TShared* FShared;
};

// A name under the top-level domain "invalid" never resolves (RFC 6761): the
// resolver is not asked, as it would send the name to the network's name
// servers and wait for an answer known in advance.
bool IsNeverResolvingName(std::wstring_view host) {
  constexpr std::wstring_view Reserved = L".invalid";
  if (!host.empty() && host.back() == L'.') host.remove_suffix(1);
  const std::wstring dotted = L"." + std::wstring(host);
  return dotted.size() >= Reserved.size() &&
         _wcsicmp(dotted.c_str() + dotted.size() - Reserved.size(), Reserved.data()) == 0;
}

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '*';
}

void AppendEscaped(std::string& out, const std::wstring& text) {
  static constexpr char Hex[] = "0123456789ABCDEF";
  for (const char byte : WideToMultiByte(text, CP_UTF8)) {
    const auto c = static_cast<unsigned char>(byte);
    if (IsUnreserved(c)) {
      out += static_cast<char>(c);
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += Hex[c >> 4];
      out += Hex[c & 15];
    }
  }
}

bool EqualsNoCase(std::string_view text, std::string_view name) {
  return text.size() == name.size() && _strnicmp(text.data(), name.data(), name.size()) == 0;
}

bool IsDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// "HTTP/<digit>.<digit> <three digits>", then nothing or a blank and a reason: true for 2xx.
bool IsSuccessStatusLine(std::string_view line) {
  if (line.size() < 12 || line.substr(0, 5) != "HTTP/" || !IsDigits(line.substr(5, 1)) || line[6] != '.' ||
      !IsDigits(line.substr(7, 1)) || line[8] != ' ' || !IsDigits(line.substr(9, 3)) ||
      (line.size() > 12 && line[12] != ' '))
    throw EHttpError(L"The answer has no status line.");
  return line[9] == '2';
}

// The body's length from the header lines after the status line; none when
// the body ends with the connection.
std::optional<size_t> BodyLength(std::string_view headers) {
  std::optional<size_t> length;
  while (!headers.empty()) {
    const size_t end = headers.find("\r\n");
    const std::string_view line = headers.substr(0, end);
    headers.remove_prefix(end == std::string_view::npos ? headers.size() : end + 2);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = Trimmed(line.substr(0, colon)), value = Trimmed(line.substr(colon + 1));
    // A 1.0 request gets no chunked answer; a server that sends one anyway
    // is not understood, rather than misread.
    if (EqualsNoCase(name, "Transfer-Encoding")) throw EHttpError(L"The answer has a transfer encoding.");
    if (!EqualsNoCase(name, "Content-Length")) continue;
    if (!IsDigits(value) || value.size() > 9) throw EHttpError(L"The answer has an invalid length.");
    const size_t n = std::stoul(std::string(value));
    if (length && *length != n) throw EHttpError(L"The answer has two lengths.");
    length = n;
  }
  if (length && *length > MaxAnswerBodySize) throw EHttpError(L"The answer is too large.");
  return length;
}

// One TCP connection whose every wait is bounded by its step's time-out,
// the exchange's deadline and the cancel event.
class TConnection {
public:
  TConnection(const THttpEndpoint& endpoint, HANDLE cancel)
      : FEndpoint(endpoint), FCancel(cancel), FDeadline(::GetTickCount64() + endpoint.ExchangeTimeoutMs) {
    if (FEvent == WSA_INVALID_EVENT) throw EHttpError(L"No socket event.");
    Connect();
  }
  ~TConnection() {
    if (FSocket != INVALID_SOCKET) ::closesocket(FSocket);
    if (FEvent != WSA_INVALID_EVENT) ::WSACloseEvent(FEvent);
  }
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;

  void SendAll(std::string_view data) {
    while (!data.empty()) {
      const int n = ::send(FSocket, data.data(), static_cast<int>(std::min<size_t>(data.size(), 65536)), 0);
      if (n > 0) {
        data.remove_prefix(n);
      } else if (::WSAGetLastError() == WSAEWOULDBLOCK) {
        Wait(FEndpoint.IoTimeoutMs);
      } else {
        throw EHttpError(L"The request could not be sent.");
      }
    }
  }

  // Appends what arrives next; false once the peer has closed.
  bool Receive(std::string& data) {
    char buffer[8192];
    for (;;) {
      const int n = ::recv(FSocket, buffer, sizeof(buffer), 0);
      if (n > 0) {
        data.append(buffer, n);
        return true;
      }
      if (n == 0) return false;
      if (::WSAGetLastError() != WSAEWOULDBLOCK) throw EHttpError(L"The connection broke.");
      Wait(FEndpoint.IoTimeoutMs);
    }
  }

private:
  // The lookup counts towards the connect's time-out.
  void Connect() {
    if (IsNeverResolvingName(FEndpoint.Host)) throw EHttpError(L"The service's host is unknown.");
    const uint64_t connectDeadline = std::min(::GetTickCount64() + FEndpoint.ConnectTimeoutMs, FDeadline);
    TNameLookup lookup(FEndpoint.Host, FEndpoint.Port);
    for (const ADDRINFOW* a = lookup.Wait(FCancel, connectDeadline); a; a = a->ai_next) {
      if (TryConnect(*a, connectDeadline)) return;
    }
    throw EHttpError(L"The service cannot be reached.");
  }

  bool TryConnect(const ADDRINFOW& address, uint64_t connectDeadline) {
    if (FSocket != INVALID_SOCKET) ::closesocket(FSocket);
    FSocket = ::socket(address.ai_family, address.ai_socktype, address.ai_protocol);
    if (FSocket == INVALID_SOCKET) return false;
    // Also makes the socket non-blocking, so that no call waits unbounded.
    if (::WSAEventSelect(FSocket, FEvent, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) != 0) return false;
    if (::connect(FSocket, address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0) return true;
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return false;
    for (;;) {
      const uint64_t now = ::GetTickCount64();
      if (now >= connectDeadline) throw EHttpError(L"The connection timed out.");
      const WSANETWORKEVENTS events = Wait(static_cast<DWORD>(connectDeadline - now));
      if (events.lNetworkEvents & FD_CONNECT) return events.iErrorCode[FD_CONNECT_BIT] == 0;
    }
  }

  // Waits for the socket's next network events; raises at the step's
  // time-out, the exchange's deadline or cancellation.
  WSANETWORKEVENTS Wait(DWORD stepTimeoutMs) {
    const uint64_t now = ::GetTickCount64();
    if (now >= FDeadline) throw EHttpError(L"The exchange timed out.");
    if (FCancel && ::WaitForSingleObject(FCancel, 0) == WAIT_OBJECT_0) throw EHttpError(L"Cancelled.");
    const WSAEVENT events[2] = {FEvent, FCancel};
    const DWORD timeout = static_cast<DWORD>(std::min<uint64_t>(stepTimeoutMs, FDeadline - now));
    const DWORD waited = ::WSAWaitForMultipleEvents(FCancel ? 2 : 1, events, FALSE, timeout, FALSE);
    if (waited == WSA_WAIT_TIMEOUT) throw EHttpError(L"The service did not answer in time.");
    if (waited != WSA_WAIT_EVENT_0) throw EHttpError(L"Cancelled.");
    WSANETWORKEVENTS happened{};
    if (::WSAEnumNetworkEvents(FSocket, FEvent, &happened) != 0) throw EHttpError(L"The connection broke.");
    return happened;
  }

  const THttpEndpoint& FEndpoint;
  HANDLE FCancel;
  uint64_t FDeadline;
  WSAEVENT FEvent = ::WSACreateEvent();
  SOCKET FSocket = INVALID_SOCKET;
};

// Reads the answer to the end and gives its body; only a 2xx answer with a
// complete body of at most MaxAnswerBodySize bytes gets that far.
std::string ReadAnswer(TConnection& connection) {
  std::string data;
  size_t headerEnd;
  while ((headerEnd = data.find(HeaderEnd)) == std::string::npos) {
    if (data.size() > MaxAnswerHeaderSize) throw EHttpError(L"The answer's header is too large.");
    if (!connection.Receive(data)) throw EHttpError(L"The connection closed before the answer.");
  }
  const std::string_view header(data.data(), headerEnd);
  const size_t statusEnd = header.find("\r\n");
  if (!IsSuccessStatusLine(header.substr(0, statusEnd))) throw EHttpError(L"The service refused the request.");
  const std::optional<size_t> length =
      BodyLength(statusEnd == std::string_view::npos ? std::string_view() : header.substr(statusEnd + 2));
  std::string body = data.substr(headerEnd + sizeof(HeaderEnd) - 1);
  for (;;) {
    if (length && body.size() >= *length) {
      body.resize(*length);
      return body;
    }
    if (body.size() > MaxAnswerBodySize) throw EHttpError(L"The answer is too large.");
    if (!connection.Receive(body)) break;
  }
  if (length) throw EHttpError(L"The answer is shorter than its length.");
  return body;
}

}  // namespace

THttpEndpoint ServiceEndpoint() {
  {
    const std::lock_guard lock(EndpointLock);
    if (EndpointOverride) return *EndpointOverride;
  }
  THttpEndpoint endpoint;
  endpoint.Host = UnscrambleString(std::wstring_view(ServiceHostScrambled.data(), ServiceHostScrambled.size()));
  return endpoint;
}

void SetServiceEndpoint(const std::optional<THttpEndpoint>& endpoint) {
  const std::lock_guard lock(EndpointLock);
  EndpointOverride = endpoint;
}

std::string EncodeFormFields(const TFormFields& fields) {
  std::string body;
  for (const auto& [name, value] : fields) {
    if (!body.empty()) body += '&';
    AppendEscaped(body, name);
    body += '=';
    AppendEscaped(body, value);
  }
  return body;
}

TWinsockUse::TWinsockUse() {
  const std::lock_guard lock(WinsockLock);
  WSADATA data;
  if (WinsockUsers == 0 && ::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw EHttpError(L"Winsock is not available.");
  ++WinsockUsers;
}

TWinsockUse::~TWinsockUse() {
  const std::lock_guard lock(WinsockLock);
  if (--WinsockUsers == 0) ::WSACleanup();
}

THttpClient::THttpClient(THttpEndpoint endpoint, HANDLE cancel) : FEndpoint(std::move(endpoint)), FCancel(cancel) {}

void THttpClient::CheckReachable() {
  const TWinsockUse winsock;
  const TConnection connection(FEndpoint, FCancel);
}

std::string THttpClient::PostForm(const char* path, const TFormFields& fields) {
  const TWinsockUse winsock;
  const std::string body = EncodeFormFields(fields);
  std::string host = WideToMultiByte(FEndpoint.Host, CP_UTF8);
  if (FEndpoint.Port != 80) host.append(":").append(std::to_string(FEndpoint.Port));
  std::string request = "POST ";
  request.append(path).append(" HTTP/1.0\r\nHost: ").append(host);
  request.append("\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: ");
  request.append(std::to_string(body.size())).append("\r\nConnection: close\r\n\r\n").append(body);
  TConnection connection(FEndpoint, FCancel);
  connection.SendAll(request);
  return ReadAnswer(connection);
}

std::string RequestService(const TFormFields& fields, HANDLE cancel) {
  THttpClient client(ServiceEndpoint(), cancel);
  client.CheckReachable();
  return client.PostForm(ServicesPath, fields);
}

}  // namespace zv
