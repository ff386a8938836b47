// The loopback web service (LoopbackServer.py, started for the test run) as
// the tests drive it: the services' endpoint while this object lives.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/Module.h"
#include "platform/TextConv.h"
#include "services/HttpTransport.h"
#include "services/ServiceFakes.h"

namespace zvtest {

struct TRecordedRequest {
  std::string Line;                  // the request line
  std::vector<std::string> Headers;  // "Name: value"
  std::string Body;
};

class TLoopbackServer {
public:
  explicit TLoopbackServer(DWORD timeoutMs = 700) : FSaved(zv::ServiceEndpoint()) {
    if (FILE* file = _wfopen((zv::GetModuleDir() + L"\\loopback-server.txt").c_str(), L"r")) {
      std::fscanf(file, "%hu", &Port);
      std::fclose(file);
    }
    SetTimeout(timeoutMs);
  }
  ~TLoopbackServer() { zv::SetServiceEndpoint(FSaved); }
  void SetTimeout(DWORD ms, uint16_t port = 0) {
    zv::SetServiceEndpoint(zv::THttpEndpoint{L"127.0.0.1", port ? port : Port, ms, ms, 2 * ms + 100});
  }

  // mode: raw (the bytes after delayMs), hold (the bytes once released),
  // trickle (a byte every delayMs), close, silent, endless.
  void Answer(const std::string& mode, const std::string& raw = "", int delayMs = 0) {
    std::wstring hex;
    for (const unsigned char c : raw) hex += {L"0123456789abcdef"[c >> 4], L"0123456789abcdef"[c & 15]};
    Control({{L"Action", L"answer"}, {L"Mode", zv::AnsiToWide(mode)}, {L"Raw", hex}, {L"Delay", std::to_wstring(delayMs)}});
  }
  void AnswerOk(const std::string& body) {
    Answer("raw", "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  }
  void Release() { Control({{L"Action", L"release"}}); }

  // Adds what arrived since the last fetch to Requests and Connections.
  void Fetch() {
    const std::string log = Control({{L"Action", L"log"}});
    for (size_t start = 0, end; start < log.size(); start = end + 1) {
      end = std::min(log.find('\n', start), log.size());
      const std::string line = log.substr(start, end - start), text = line.substr(2);
      if (line[0] == 'C') ++Connections;
      if (line[0] == 'R') Requests.push_back({text, {}, {}});
      if (line[0] == 'H') Requests.back().Headers.push_back(text);
      if (line[0] == 'B') Requests.back().Body = text;
    }
  }
  void Forget() {
    Fetch();
    Requests.clear();
    Connections = 0;
  }
  // Dispatches until `count` requests have arrived since the last Forget.
  bool WaitForRequests(size_t count) {
    return PumpUntil([&] { return Fetch(), Requests.size() >= count; }) && Requests.size() == count;
  }

  uint16_t Port = 0;
  std::vector<TRecordedRequest> Requests;
  int Connections = 0;

private:
  std::string Control(const zv::TFormFields& fields) {
    try {
      return zv::THttpClient({L"127.0.0.1", Port, 5000, 5000, 10000}, nullptr).PostForm("/control", fields);
    } catch (const zv::EZvError& e) {
      ADD_FAILURE() << "the loopback server's control: " << zv::WideToMultiByte(e.Message(), CP_UTF8);
      return {};
    }
  }
  zv::THttpEndpoint FSaved;
};

}  // namespace zvtest
