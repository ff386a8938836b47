#include <winsock2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

#include "config/SettingsManager.h"
#include "frontend/TCUtilities.h"
#include "platform/Dialogs.h"
#include "platform/Form.h"
#include "platform/WinHandle.h"
#include "services/ErrorReporter.h"
#include "services/HttpTransport.h"
#include "services/LoopbackServer.h"
#include "services/ServiceManager.h"
#include "services/ZentavoUpdates.h"
#include "support/PluginFixtures.h"
#include "support/RegistryFixture.h"
#include "support/TestFiles.h"

using namespace zv;
using namespace zvtest;

namespace {

std::vector<std::wstring> OpenedPages;

// The name server as the transport's lookups meet it: counted, and silent
// until the test lets it answer (bounded, so that no lookup waits for good).
struct TNameServer {
  explicit TNameServer(bool silent) {
    Asked = Answered = 0;
    (silent ? ::ResetEvent : ::SetEvent)(Answers.Get());
    NameLookupHook = &Lookup;
  }
  ~TNameServer() { NameLookupHook = nullptr, Answer(); }
  static void Answer() { ::SetEvent(Answers.Get()); }
  static void Lookup(const wchar_t*) {
    ++Asked;
    ::WaitForSingleObject(Answers.Get(), 10000);
    ++Answered;
  }
  static inline TScopedKernelHandle Answers{::CreateEventW(nullptr, TRUE, TRUE, nullptr)};
  static inline std::atomic<int> Asked{0}, Answered{0};
};

// The real workers against the loopback server, with the real service manager and settings.
class TOnlineServicesTest : public TRegistryTest {
protected:
  void SetUp() override {
    TRegistryTest::SetUp();
    Settings = std::make_unique<TSettingsManager>(Temp / L"Zentavo.cfg");
    Settings->SetCheckForUpdates(false);
    GlobalSettingsManager = Settings.get();
    ServiceWorkerFactory = &OnlineServiceWorkers();
    OpenWebPage = [](const std::wstring& url) { OpenedPages.push_back(url); };
    Install({L"ZvFixtureId0v120"});
    Server.AnswerOk("");
    Server.Forget();
    Manager = std::make_unique<TServiceManager>();
  }
  void TearDown() override {
    Manager.reset();
    OpenWebPage = &ShellOpenWebPage;
    ServiceJobFaultHook = nullptr;
    GlobalSettingsManager = nullptr;
    TRegistryTest::TearDown();
  }
  void Install(std::initializer_list<const wchar_t*> fixtures) {
    Plugins.List.clear();
    for (const wchar_t* name : fixtures) Plugins.List.push_back({name, FixturePath(name)});
  }
  // A worker run to its end with a notify window of this thread.
  template <typename TWorker, typename... TArgs>
  std::unique_ptr<TWorker> Run(TArgs&&... args) {
    const HWND window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    auto worker = std::make_unique<TWorker>(window, std::forward<TArgs>(args)...);
    EXPECT_TRUE(PumpUntil([&] { return worker->HasEnded(); }));
    ::DestroyWindow(window);
    return worker;
  }
  std::unique_ptr<TUpdateChecker> Check() { return Run<TUpdateChecker>(Plugins.List); }
  // The test build of the library, a second copy of the services in this
  // process, started as FsInit starts them with an update check due for the
  // plug-in at `fixture` ("": none) and the hooks of that copy set. This copy
  // keeps Winsock started meanwhile, so only that one starts and cleans it up.
  HMODULE StartTestBuild(const std::wstring& fixture, void (*lookup)(const wchar_t*) = nullptr, void (*job)() = nullptr) {
    if (!Winsock) Winsock.emplace();
    const HMODULE module = ::LoadLibraryW(TestBuild.c_str());
    if (module)
      reinterpret_cast<void(__stdcall*)(const wchar_t*, const wchar_t*, int, void (*)(const wchar_t*), void (*)())>(
          ::GetProcAddress(module, "ZVT_Start"))((Temp / L"Unload.cfg").c_str(), fixture.c_str(), Server.Port, lookup, job);
    return module;
  }
  bool TestBuildLoaded() const { return ::GetModuleHandleW(TestBuild.c_str()) != nullptr; }
  // "Check now" through the manager, with the boxes it brings answered.
  std::vector<TSeenBox> CheckNow(int boxes) {
    return AnswerBoxes([&] { Manager->CheckForUpdates(true); }, boxes);
  }

  TTempDir Temp;
  std::optional<TWinsockUse> Winsock;
  const std::wstring TestBuild = GetModuleDir() + L"\\ZentavoTestBuild.wfx";
  std::unique_ptr<TSettingsManager> Settings;
  TLoopbackServer Server;
  TFakePlugins Plugins;
  std::unique_ptr<TServiceManager> Manager;
};

// Counts the updates dialog's lines for the plug-in ZvFixtureId0v120 offered at 1.3.
BOOL CALLBACK CountPluginLine(HWND child, LPARAM lines) {
  *reinterpret_cast<int*>(lines) += GetText(child) == L"ZvFixtureId0v120 v1.3 - ";
  return TRUE;
}

}  // namespace

TEST_F(TOnlineServicesTest, AReportPostsItsSevenFieldsEscapedWithFourHeadersAndSucceedsOnlyOn2xx) {
  // Exactly these headers and fields: nothing about the machine or its user.
  const std::wstring odd = L"a&b=c+d%e\r\nf *-._~\u00e9\u4e2d\U0001F600";
  EXPECT_TRUE(Run<TErrorReporter>(1000000000u, 250u, L"Shown " + odd, TErrorStruct{11009, L"Text " + odd, L""})->GetSuccess());
  Server.Fetch();
  EXPECT_EQ(Server.Connections, 2) << "the reachability test, then the post";
  ASSERT_EQ(Server.Requests.size(), 1u);
  const TRecordedRequest& r = Server.Requests[0];
  EXPECT_EQ(r.Line, "POST /services.php HTTP/1.0");
  ASSERT_EQ(r.Headers.size(), 4u);
  EXPECT_EQ(r.Headers[0] + "|" + r.Headers[1] + "|" + r.Headers[2].substr(0, 15) + "|" + r.Headers[3],
            "Host: 127.0.0.1:" + std::to_string(Server.Port) +
                "|Content-Type: application/x-www-form-urlencoded|Content-Length:|Connection: close");
  const std::string escaped = "a%26b%3Dc%2Bd%25e%0D%0Af+*-._%7E%C3%A9%E4%B8%AD%F0%9F%98%80";
  EXPECT_EQ(r.Body, "Service=ReportError&PluginID=1000000000&PluginVersion=250&ErrorMsg=Shown+" + escaped +
                        "&ErrorCode=11009&ErrorText=Text+" + escaped + "&AdditionalInfo=");

  Server.Answer("raw", "HTTP/1.0 500 Internal Server Error\r\n\r\n");
  EXPECT_FALSE(Run<TErrorReporter>(1000000000u, 250u, L"m", TErrorStruct{1, L"t", L"i"})->GetSuccess());
}

TEST_F(TOnlineServicesTest, ACheckAsksForTheProbedIDsAndReadsTheAnswerLines) {
  const struct {
    const char* Case;
    std::initializer_list<const wchar_t*> Plugins;
    std::string Answer;
    const char* IDList;  // null: no request
    std::wstring Found;
  } cases[] = {
      {"nothing eligible", {L"ZvFixture", L"ZvFixtureRequired"}, "150,u", nullptr, L"0 "},
      {"one ID twice", {L"ZvFixtureId0v100", L"ZvFixtureId0v120"}, "150,http://z/zv\r\n1000000000:130,http://z/p",
       "1000000000", L"150 http://z/zv|ZvFixtureId0v100 1000000000:120>130 http://z/p"},
      {"blank first line", {L"ZvFixtureId0v120"}, "\r\n\n  \n150,u\n1000000000:130,v", "1000000000", L"0 "},
      {"line forms", {L"ZvFixtureId0v120", L"ZvFixtureId7v250"},
       "\n \t150\x01 ,u,x \r 1000000007 : 300 , w \r\n1000000000:+130,y\n1000000000:-1,y\n1000000000:1 3,y\n"
       "1000000000:4294967296,y\n4294967296:1,y\n1000000001:130,y\n1000000000:130\nnone\n"
       "1000000000:4294967295,q\n1000000000:,first offer wins\n1000000007:400,first offer wins",
       "1000000000%2C1000000007",
       L"150 u,x|ZvFixtureId7v250 1000000007:250>300 w|ZvFixtureId0v120 1000000000:120>4294967295 q"},
      {"UTF-8 mark", {L"ZvFixtureId0v120"}, "\xEF\xBB\xBF" "150,\xC3\xA9\xFF", "1000000000", L"150 \u00e9\ufffd"},
      {"UTF-16 LE, odd", {L"ZvFixtureId0v120"}, std::string("\xFF\xFE" "1\0" "5\0" "0\0" ",\0" "\xE9\0" "\x01", 13),
       "1000000000", L"150 \u00e9"},
      {"UTF-16 BE", {L"ZvFixtureId0v120"}, std::string("\xFE\xFF\0" "1\0" "5\0" "0\0" ",\0" "\xE9", 12), "1000000000",
       L"150 \u00e9"},
      {"ANSI", {L"ZvFixtureId0v120"}, "150,\xE9", "1000000000", L"150 " + AnsiToWide("\xE9")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    Install(c.Plugins);
    Server.AnswerOk(c.Answer);
    Server.Forget();
    const auto checker = Check();
    EXPECT_TRUE(checker->GetSuccess());
    std::wstring found = std::to_wstring(checker->GetZentavoUpdate().Version) + L" " + checker->GetZentavoUpdate().URL;
    for (const TPluginUpdate& u : checker->GetUpdates())
      found += L"|" + u.Name + L" " + std::to_wstring(u.ID) + L":" + std::to_wstring(u.Version) + L">" +
               std::to_wstring(u.NewVersion) + L" " + u.URL;
    EXPECT_EQ(found, c.Found);
    Server.Fetch();
    ASSERT_EQ(Server.Requests.size(), c.IDList ? 1u : 0u);
    if (c.IDList) {
      EXPECT_EQ(Server.Requests[0].Body, std::string("Service=CheckUpdate&IDList=") + c.IDList);
    }
  }
}

TEST_F(TOnlineServicesTest, EveryBadReplyFailsInItsBoundShowsAndStoresNothingAndTheNextCheckWorks) {
  const std::string ok = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n150,u";
  const std::pair<std::string, std::string> replies[] = {
      {"raw", std::string("\0\xFFgarbage\r\n\r\n", 13)},
      {"raw", "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n150,u"},
      {"raw", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n150,u\r\n0\r\n\r\n"},
      {"raw", "HTTP/1.0 200 OK\r\nContent-Length: 1048577\r\n\r\n150,u"},
      {"trickle", ok}, {"close", ""}, {"silent", ""}, {"endless", ""}, {"closed port", ""},
  };
  for (const auto& [mode, raw] : replies) {
    SCOPED_TRACE(mode + " " + raw.substr(0, 40));
    Server.Answer(mode == "closed port" ? "close" : mode, raw, 100);
    if (mode == "closed port") Server.SetTimeout(700, 1);
    const auto checker = Check();
    EXPECT_FALSE(checker->GetSuccess());
    EXPECT_EQ(CountShownWindows([&] { checker->ShowResult(false); }), 0);
    EXPECT_EQ(Settings->GetLastCheckUpdate(), 0.0);
    Server.SetTimeout(700);
    Server.Answer("raw", ok);
    EXPECT_TRUE(Check()->GetSuccess());
  }
}

TEST_F(TOnlineServicesTest, TheDialogListsNewerVersionsWithLinksAndOnlyWebLinksOpen) {
  Install({L"ZvFixtureId0v120", L"ZvFixtureId7v250"});
  Plugins.List[0].Name = L"Zip & Co";
  Server.AnswerOk("150,\\\\evil\\share\\setup.exe\r\n1000000000:123,http://z/p&q\r\n"
                  "1000000007:250,http://z/same");
  TGuiDriver driver([&] {
    HWND form = WaitForWindow(L"Latest available updates for Zentavo");
    for (const wchar_t* text : {L"Zentavo v1.5 - ", L"Zip & Co v1.2.3 - "})
      EXPECT_TRUE(FindChild(form, text)) << WideToAnsi(text);
    EXPECT_FALSE(FindChild(form, L"http://z/same")) << "offered at the installed version";
    ClickAt(FindChild(form, L"http://z/p&q"), {2, 2});
    ClickAt(FindChild(form, L"\\\\evil\\share\\setup.exe"), {2, 2});
    ClickButton(form, L"Close");
  });
  Manager->CheckForUpdates(true);
  EXPECT_TRUE(PumpUntil([&] { return Settings->GetLastCheckUpdate() > 0.0; })) << "written with the dialog";
  driver.Join();
  EXPECT_EQ(OpenedPages, std::vector<std::wstring>{L"http://z/p&q"});
}

TEST_F(TOnlineServicesTest, AWorkerThatThrowsFailsTheCheckTheNextRunsAndAResultWaitsForItsOwnerWindow) {
  ServiceJobFaultHook = [] { throw EZvError(L"unforeseen"); };
  std::vector<TSeenBox> boxes = CheckNow(1);
  ServiceJobFaultHook = nullptr;
  Server.AnswerOk("100,u");
  for (const TSeenBox& box : CheckNow(1)) boxes.push_back(box);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].Caption + L": " + boxes[0].Text, L"Error: An error occured while checking for updates.");
  EXPECT_EQ(boxes[1].Caption + L": " + boxes[1].Text, L"Information: No new updates are available.");

  const auto checker = Check();
  TForm owner(nullptr, {L"Never active", 100, 100});
  ParentWindow = owner.Handle();
  ::PostQuitMessage(7);
  EXPECT_EQ(CountShownWindows([&] { checker->ShowResult(true); }), 0) << "dropped after 5000 passes";
  ParentWindow = nullptr;
  MSG quit{};
  EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && quit.wParam == 7) << "posted again";
  EXPECT_EQ(Settings->GetLastCheckUpdate(), 0.0);
}

TEST_F(TOnlineServicesTest, WhileASilentServerHoldsACheckTheUserGoesOnASecondIsDroppedAndFreeingCancelsAtOnce) {
  Server.Answer("silent");
  Server.SetTimeout(30000);
  Manager->CheckForUpdates(true);
  ASSERT_TRUE(Server.WaitForRequests(1));
  Server.Forget();
  Manager->CheckForUpdates(true);
  EXPECT_EQ(AnswerBoxes([] { ShowMessageBoxOwned(nullptr, L"Meanwhile", L"Error", MB_OK); }, 1).size(), 1u);
  Server.Fetch();
  EXPECT_EQ(Server.Connections, 0);
  const ULONGLONG start = ::GetTickCount64();
  Manager.reset();
  EXPECT_LT(::GetTickCount64() - start, 1000u);
}

// The boxes answered are those of this thread, the user interface's.
TEST_F(TOnlineServicesTest, AProbesFaultingQueryIsShownOnTheUserInterfaceThreadAndItsPlugInLeftOut) {
  Install({L"ZvFixtureIdFaults", L"ZvFixtureId0v120"});
  Server.AnswerOk("100,u");
  const std::vector<TSeenBox> boxes = CheckNow(2);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].Text, L"An exception occured while processing the \"ZV_GetPluginID\" function in the "
                           L"\"ZvFixtureIdFaults.zvx\" plugin!");
  EXPECT_EQ(boxes[1].Text, L"No new updates are available.");
  ASSERT_TRUE(Server.WaitForRequests(1));
  EXPECT_EQ(Server.Requests[0].Body, "Service=CheckUpdate&IDList=1000000000");
}

TEST_F(TOnlineServicesTest, AReportFromAThreadThatEndsAtOnceIsRememberedOnceAndTheNextReportStarts) {
  TLoadedPlugin entry;
  entry.PluginFile = std::make_unique<TPluginFile>(FixturePath(L"ZvFixtureId0v120"), &entry);
  ASSERT_TRUE(entry.PluginFile->ResolveExports());
  const auto report = [&](uint32_t code) { Manager->ReportError(entry.PluginFile.get(), L"Failed", {code, L"t", L""}); };
  Server.Answer("hold", "HTTP/1.0 200 OK\r\n\r\n");
  std::thread([&] { AnswerBoxes([&] { report(7); }, 1); }).join();
  Server.Release();  // the report ends after its thread
  EXPECT_TRUE(PumpUntil([&] {
    CountShownWindows([&] { report(7); });  // nothing while the report is in flight, then the plain box
    return !StoredErrors(L"1000000000:120").empty();
  }));
  EXPECT_EQ(StoredErrors(L"1000000000:120"), (std::vector<unsigned char>{7, 0}));
  Server.Forget();
  AnswerBoxes([&] { report(8); }, 1);
  ASSERT_TRUE(Server.WaitForRequests(1));
  EXPECT_NE(Server.Requests[0].Body.find("&ErrorCode=8&"), std::string::npos);
}

TEST(WinsockUse, ThreadsStartingAndCleaningUpAtOnceLeaveAnOpenSocketAlone) {
  const TWinsockUse winsock;
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_NE(socket, INVALID_SOCKET);
  std::atomic<bool> stop = false;
  const auto churn = [&] {
    while (!stop) const TWinsockUse use;
  };
  std::thread first(churn), second(churn);
  ::Sleep(300);
  stop = true;
  first.join();
  second.join();
  int type = 0, length = sizeof(type);
  EXPECT_EQ(::getsockopt(socket, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &length), 0);
  ::closesocket(socket);
}

TEST_F(TOnlineServicesTest, UnloadingDuringACheckReturnsAtOnceRunsNothingLaterAndANewLoadChecksAgain) {
  Server.Answer("silent");
  for (int load = 0; load < 2; ++load) {
    SCOPED_TRACE(load);
    // The probe's ID query takes a second: the worker is in plug-in code, which nothing can cancel.
    const HMODULE module = StartTestBuild(FixturePath(L"ZvFixtureIdSlow"));
    ASSERT_TRUE(module);
    const ULONGLONG start = ::GetTickCount64();
    ::FreeLibrary(module);
    EXPECT_LT(::GetTickCount64() - start, 2000u);
    Server.Forget();
    EXPECT_TRUE(Server.WaitForRequests(1)) << "the check goes on to its request";
    EXPECT_TRUE(PumpUntil([&] { return !TestBuildLoaded(); })) << "unloaded once the check ended";
  }
}

TEST_F(TOnlineServicesTest, TheCancelAndBothTimeOutsAbandonASilentNameServerWhoseLookupsEndLaterByThemselves) {
  TNameServer names(true);
  const TScopedKernelHandle cancel(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread user([&] {
    while (names.Asked == 0) ::Sleep(1);
    ::SetEvent(cancel.Get());
  });
  const auto reach = [&](DWORD connectMs, DWORD exchangeMs, HANDLE stop) {
    THttpClient({L"127.0.0.1", Server.Port, connectMs, 30000, exchangeMs}, stop).CheckReachable();
  };
  EXPECT_THROW(reach(30000, 30000, cancel.Get()), EHttpError);
  user.join();
  EXPECT_THROW(reach(100, 30000, nullptr), EHttpError);
  EXPECT_THROW(reach(30000, 100, nullptr), EHttpError);
  EXPECT_TRUE(PumpUntil([&] { return names.Asked == 3; }));
  EXPECT_EQ(names.Answered, 0) << "abandoned, not waited for";
  names.Answer();
  EXPECT_TRUE(PumpUntil([&] { return names.Answered == 3; }));
  Server.Fetch();
  EXPECT_EQ(Server.Connections, 0) << "an abandoned lookup connects nowhere";
}

TEST_F(TOnlineServicesTest, ACheckGivesUpOnASilentNameServerWhoseLookupKeepsTheLibraryLoadedUntilItEnds) {
  TNameServer names(true);
  static TScopedKernelHandle worker;
  const HMODULE module = StartTestBuild(FixturePath(L"ZvFixtureId0v120"), &TNameServer::Lookup, [] {
    worker.Reset(::OpenThread(SYNCHRONIZE, FALSE, ::GetCurrentThreadId()));
  });
  ASSERT_TRUE(module);
  const auto checkEnded = [] {
    MSG done;  // looked for, not dispatched
    return ::PeekMessageW(&done, nullptr, WM_CHECKUPDATE_DONE, WM_CHECKUPDATE_DONE, PM_NOREMOVE) != FALSE;
  };
  for (int i = 0; i < 500 && !checkEnded(); ++i) ::Sleep(10);
  EXPECT_TRUE(checkEnded()) << "the check ended at its time-out";
  ::FreeLibrary(module);
  EXPECT_TRUE(PumpUntil([&] { return ::WaitForSingleObject(worker.Get(), 0) == WAIT_OBJECT_0; })) << "its worker ended";
  EXPECT_TRUE(TestBuildLoaded()) << "held by the lookup";
  names.Answer();
  EXPECT_TRUE(PumpUntil([&] { return !TestBuildLoaded(); }));
}

TEST_F(TOnlineServicesTest, TheBuiltInHostFailsAtTheReachabilityTestWithoutALookupSoNothingIsSentOrRecorded) {
  TNameServer names(false);
  SetServiceEndpoint(std::nullopt);  // the fixture's server puts the tests' endpoint back
  const std::vector<TSeenBox> boxes = CheckNow(1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, L"An error occured while checking for updates.");
  EXPECT_EQ(Settings->GetLastCheckUpdate(), 0.0);

  TPluginFile plugin(FixturePath(L"ZvFixtureId0v120"), nullptr);
  ASSERT_TRUE(plugin.ResolveExports());
  // A box each time the entry is free again: the report started before has been settled.
  const auto report = [&] {
    return CountShownWindows([&] { Manager->ReportError(&plugin, L"Failed", {7, L"t", L""}); }) > 0;
  };
  EXPECT_TRUE(report());
  EXPECT_TRUE(PumpUntil(report)) << "the report was settled";
  EXPECT_EQ(StoredErrors(L"1000000000:120"), std::vector<unsigned char>{});
  EXPECT_EQ(names.Asked, 0) << "no name went to the resolver";
}

TEST_F(TOnlineServicesTest, AnAnswerRepeatingAPlugInsLineThousandsOfTimesListsItOnceAndTheHostsWindowsStillWork) {
  std::string answer = "100,u";
  for (int i = 0; i < 6000; ++i) answer += "\r\n1000000000:130,http://z/p";
  Server.AnswerOk(answer);
  int lines = 0;
  TGuiDriver driver([&] {
    const HWND form = WaitForWindow(L"Latest available updates for Zentavo");
    ::EnumChildWindows(form, &CountPluginLine, reinterpret_cast<LPARAM>(&lines));
    ClickButton(form, L"Close");
  });
  Manager->CheckForUpdates(true);
  EXPECT_TRUE(PumpUntil([&] { return Settings->GetLastCheckUpdate() > 0.0; }));
  driver.Join();
  EXPECT_EQ(lines, 1);
  EXPECT_EQ(AnswerBoxes([] { ShowMessageBoxOwned(nullptr, L"Meanwhile", L"Error", MB_OK); }, 1).size(), 1u);
}

TEST_F(TOnlineServicesTest, AReportThatEndsAfterItsThreadAndBeforeTheUnloadIsRemembered) {
  const HMODULE module = StartTestBuild(L"");
  ASSERT_TRUE(module);
  const auto reportError =
      reinterpret_cast<void(__stdcall*)(const wchar_t*, uint32_t)>(::GetProcAddress(module, "ZVT_ReportError"));
  Server.Answer("hold", "HTTP/1.0 200 OK\r\n\r\n");
  // The host's file thread reports the error and ends; its notify window goes with it.
  std::thread([&] { AnswerBoxes([&] { reportError(FixturePath(L"ZvFixtureId0v120").c_str(), 7); }, 1); }).join();
  ASSERT_TRUE(Server.WaitForRequests(1));
  ::FreeLibrary(module);  // the report's thread unloads it as it ends
  Server.Release();
  EXPECT_TRUE(PumpUntil([&] { return !TestBuildLoaded(); }));
  EXPECT_EQ(StoredErrors(L"1000000000:120"), (std::vector<unsigned char>{7, 0}));
}
