// The agent at work against a scripted system: the check timer's rules, the
// update cycle with its questions, shut-down methods and refusals, the news
// page, and the downloads behind them.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "agent/signed_descriptor.h"
#include "agent/update_agent.h"
#include "agent_fakes.h"
#include "pack/update_signing.h"
#include "package/token.h"
#include "trust/update_signature.h"
#include "util/text.h"

namespace {

using agent_test::FakeClock;
using agent_test::FakeRegistry;
using agent_test::FakeSizeProbe;
using agent_test::MemorySettings;
using agent_test::RecordingLog;

const std::string kFolder = "/Program Files/App";
const std::string kUrl = "http://upd.invalid/app";
const std::string kToken = "product-42";

// Every call that the user or the system would notice becomes a line of
// `events`; answers and the state of files, network and product are set by
// the test.
class ScriptedHost : public agent::AgentHost {
public:
  explicit ScriptedHost(MemorySettings& store) : store_(store) {}

  std::vector<std::string> events;
  std::deque<bool> answers;           // for Ask; Yes when empty
  std::function<void()> duringAsk;    // runs while a question is open
  std::map<std::string, std::string> files;
  struct Resource {
    std::string body, error, etag; // a request naming the etag gets "not modified"
  };
  std::map<std::string, Resource> web; // by URL
  std::vector<http::DownloadRequest> requests; // of each download, in order
  bool online = true;
  std::string offlineWhy;
  std::set<std::string> running;
  std::set<std::string> stubborn; // ignore WM_CLOSE and WM_QUIT
  int closeAfterNotices = -1;     // the user closes the product after so many notices
  bool setupResult = true;
  bool diagnostic = false;
  std::string ranSha256; // of the setup file as it ran

  bool Ask(const std::string& markup) override {
    events.push_back("ask " + markup);
    if (duringAsk) duringAsk();
    if (answers.empty()) return true;
    const bool a = answers.front();
    answers.pop_front();
    return a;
  }
  void Notice(const std::string& markup) override {
    events.push_back("notice " + markup);
    if (closeAfterNotices > 0 && --closeAfterNotices == 0) running.clear();
  }
  void ShowError(const std::string& markup) override { events.push_back("error " + markup); }
  void SetBoxFont(const std::string&, int, int) override {}
  bool ShowInformWindow(const std::string& title, const std::string& button, int, int,
                        const std::string&, int height, int width, const std::string& link,
                        const std::string& text) override {
    events.push_back("inform " + title + "|" + button + "|" + std::to_string(width) + "x" +
                     std::to_string(height) + "|" + link + "|" + text);
    return true;
  }
  void Pump(int) override {}
  void ShowStubWindow(bool visible) override {
    events.push_back(visible ? "window shown" : "window hidden");
  }
  void SetProgressCaption(const std::string&) override {}
  void ShowCopyProgress() override { events.push_back("copy progress"); }
  void Notify(int code, std::intptr_t value) override {
    events.push_back("notify " + std::to_string(code) + "/" + std::to_string(value));
  }
  void Quit() override { events.push_back("quit"); }
  void EndAgent() override { events.push_back("end agent"); }

  bool IsFile(const std::string& path) override { return files.count(path) != 0; }
  bool ReadFile(const std::string& path, std::string& content, std::size_t limit) override {
    const auto it = files.find(path);
    if (it == files.end()) return false;
    content = it->second.substr(0, limit);
    return true;
  }
  bool WriteFile(const std::string& path, std::string_view content) override {
    if (path == failWrite) return false;
    files[path] = std::string(content);
    LoadIni(path, content);
    return true;
  }
  bool CopyOver(const std::string& from, const std::string& to) override {
    events.push_back("copy " + from);
    files[to] = files[from];
    return true;
  }
  void RemoveFile(const std::string& path) override {
    if (path != held) files.erase(path);
  }
  void RemovePartialDownloads(const std::string& target) override {
    events.push_back("remove partials " + target);
  }
  bool HoldFile(const std::string& path) override {
    events.push_back("hold " + path);
    held = files.count(path) ? path : std::string();
    return !held.empty();
  }
  void ReleaseFile() override { held.clear(); }
  // Someone else writes the file, unless the agent holds it.
  bool Replace(const std::string& path, const std::string& content) {
    if (path == held) return false;
    files[path] = content;
    return true;
  }
  std::string held;
  std::string failWrite; // a write of this path fails
  std::string utcDate = "2026-12-10";
  std::string UtcDate() override { return utcDate; }

  bool IsOnline(std::string& why) override {
    why = online ? "" : offlineWhy;
    return online;
  }
  void Download(bool withWindow, const std::string& url, const std::string& target,
                const http::DownloadRequest& request, std::string& error, std::string& content,
                http::DownloadAnswer& answer) override {
    events.push_back("download " + url + (withWindow ? " (window)" : ""));
    requests.push_back(request);
    answer = {};
    const auto it = web.find(url);
    error = it == web.end() ? url + " --- HTTP status 404" : it->second.error;
    if (!error.empty()) return;
    if (!request.ifChanged.empty() && request.ifChanged.etag == it->second.etag) {
      answer.notModified = true;
      return;
    }
    answer.validators.etag = it->second.etag;
    if (target.empty())
      content = it->second.body;
    else
      files[target] = it->second.body;
  }
  bool DownloadAborted() override { return false; }
  void ClearDownloadAbort() override {}
  // A "setup" here is the text "SETUP:" + its token, then an optional line
  // of content.
  std::string SetupToken(const std::string& path) override {
    const auto it = files.find(path);
    if (it == files.end() || it->second.rfind("SETUP:", 0) != 0) return {};
    return it->second.substr(6, it->second.find('\n') - 6);
  }

  // The real checks: the tests sign with a key of their own.
  bool SignatureMatches(const std::string& keyHex, const std::string& content,
                        const std::string& signature) override {
    return trust::SignatureMatches(keyHex, content, signature);
  }
  std::string FileSha256(const std::string& path) override {
    const auto it = files.find(path);
    return it == files.end() ? std::string() : trust::Sha256Of(it->second);
  }

  std::string ExpandInstallVariables(const std::string& text, const std::string& targetDir,
                                     const std::string&, const std::string&) override {
    return util::ReplaceAll(text, "<InstallDir>", targetDir);
  }
  bool IsRunning(const std::string& program) override { return running.count(program) != 0; }
  void PostClose(const std::string& program) override { Stop("close", program); }
  void PostQuit(const std::string& program) override { Stop("quit", program); }
  void Terminate(const std::string& program) override {
    events.push_back("terminate " + program);
    running.erase(program);
  }
  void WaitGone(const std::string& program, int ms) override {
    events.push_back("wait " + program + " " + std::to_string(ms));
  }
  void StartProgram(const std::string& path) override { events.push_back("start " + path); }
  void StartHidden(const std::string& commandLine) override {
    events.push_back("start hidden " + commandLine);
  }
  bool RunSetup(const std::string& setupFile, const std::string& agentFileName,
                bool withUserInterface, const std::string& extraSwitch) override {
    events.push_back("run " + setupFile + " " + agentFileName + (withUserInterface ? " ui " : " ") +
                     extraSwitch);
    ranSha256 = FileSha256(setupFile);
    return setupResult;
  }
  bool DiagnosticMode() override { return diagnostic; }
  std::uint32_t TickCount() override { return ticks += 7; }
  std::uint32_t ticks = 0;

  bool Saw(const std::string& prefix) const {
    for (const auto& e : events)
      if (e.rfind(prefix, 0) == 0) return true;
    return false;
  }

private:
  void Stop(const char* how, const std::string& program) {
    events.push_back(std::string(how) + " " + program);
    if (!stubborn.count(program)) running.erase(program);
  }
  // A written .info becomes what the descriptors read.
  void LoadIni(const std::string& path, std::string_view content) {
    std::string section;
    std::size_t pos = 0;
    while (pos < content.size()) {
      std::size_t end = content.find('\n', pos);
      if (end == std::string_view::npos) end = content.size();
      const std::string line = util::Trim(content.substr(pos, end - pos));
      pos = end + 1;
      if (line.size() > 2 && line.front() == '[') {
        section = line.substr(1, line.find(']') - 1);
      } else if (const auto eq = line.find('='); eq != std::string::npos) {
        store_.values[{path, section, line.substr(0, eq)}] = line.substr(eq + 1);
      }
    }
  }
  MemorySettings& store_;
};

class AgentAtWork : public ::testing::Test {
protected:
  AgentAtWork()
      : d(store, agent::OriginalFilePathFor(kFolder, "App.info"),
          agent::InfoFilePathFor(kFolder, "App.info")),
        e(d, clock, registry, sizes, log), host(store),
        agentUnderTest(d, e, values, host, log,
                       {kFolder, kUrl, "App.AutoUpdate.exe", kToken, ""}) {
    clock.Set(2026, 12, 10, 9, 0, 0);
    e.SetSpreadDraw(agent_test::LowestDraw);
    Defaults();
  }

  void Defaults() {
    Original("OriginalSetup", "VersionOriginal", "3");
    Original("OriginalSetup", "Stamp", "1");
    Original("OriginalSetup", "ProbeSecondsInterval", "3600");
    Original("OriginalSetup", "ProgramName", "App");
    Original("Directories", "TargetDir", "C:\\Program Files\\App");
    for (const char* key : {"s11", "s12", "s13", "s14", "s15", "s16", "s17", "s18", "s19", "s20",
                            "s21", "s22", "s23", "s24"})
      Original("AutoUpdate", key, std::string("[") + key + " PROG_NAME]");
    sizes.urls[kUrl + "/AppSetup.exe"] = 1000;
  }

  // A fresh descriptor state and host for the next case of a table.
  void StartOver() {
    store.values.clear();
    Defaults();
    host.events.clear();
    host.files.clear();
  }

  void Original(const char* section, const char* key, const std::string& value) {
    store.values[{d.OriginalFilePath(), section, key}] = value;
  }
  // An eligible update from 3 to 4 with the given [NewSetup] lines.
  void Serve(const std::string& newSetupLines, const std::string& setupBody = "SETUP:" + kToken) {
    host.web[kUrl + "/App.info"].body =
        "[NewSetup]\r\nVersionNew=4\r\nStamp=2\r\nProgramName=App\r\nDownloadURL_UPDATE=" + kUrl +
        "\r\nNameOfUpdateFile=AppSetup.exe\r\nSizeOfUpdateFile=1000\r\n"
        "RunningProcess=<InstallDir>\\App.exe\r\n" +
        newSetupLines;
    host.web[kUrl + "/AppSetup.exe"].body = setupBody;
  }
  std::string InfoPath() const { return d.InfoFilePath(); }
  std::string SetupPath() const { return util::JoinPath(kFolder, "AppSetup.exe"); }
  std::int64_t StoredVersion() { return d.VersionOriginal(); }
  void Tick() { agentUnderTest.OnAgentTimer(); }

  MemorySettings store;
  FakeClock clock;
  FakeRegistry registry;
  FakeSizeProbe sizes;
  RecordingLog log;
  agent::Descriptors d;
  agent::Eligibility e;
  agent::AgentValues values;
  ScriptedHost host;
  agent::UpdateAgent agentUnderTest;
  const std::string product = "C:\\Program Files\\App\\App.exe";
};

TEST_F(AgentAtWork, WholeUpdateAsksStopsRunsRecordsRestartsAndRelaunches) {
  Serve("RequestConfirmationBeforeDownload=1\r\nRequestConfirmationBeforeInstall=1\r\n"
        "ShutDownMethod=Using WM_CLOSE\r\nRestartProcess=1\r\nInformFinish=1\r\n");
  host.running.insert(product);
  Tick();

  const std::string agentPath = util::JoinPath(kFolder, "App.AutoUpdate.exe");
  const std::vector<std::string> want = {
      "notify 40/1",
      "download " + kUrl + "/App.info",
      "notify 40/2",
      "ask [s11 App][s13 App]",
      "notify 41/1",
      "window shown",
      "download " + kUrl + "/AppSetup.exe",
      "window hidden",
      "hold " + SetupPath(),
      "notify 41/2",
      "ask [s14 App]",
      "close " + product,
      "wait " + product + " 1000",
      "notify 42/1",
      "run " + SetupPath() + " App.AutoUpdate.exe ui /OriginalInfoFile=\"" + InfoPath() + "\"",
      "notify 42/2",
      "ask [s16 App][s17 App]",
      "start " + product,
      "start hidden \"" + agentPath + "\" /_ZZ=99 /WAIT=10 /TRANSIENT=|255|255|255|255|255|255|255|255|",
      "end agent"};
  EXPECT_EQ(host.events, want);
  EXPECT_EQ(StoredVersion(), 4);
  EXPECT_FALSE(host.IsFile(SetupPath())); // deleted after the run
  EXPECT_EQ(d.Stamp(), 2);
}

TEST_F(AgentAtWork, EachRefusalEndsTheCycleWhereItShould) {
  struct Case {
    const char* name;
    std::deque<bool> answers;
    std::string setupBody;
    bool setupResult;
    const char* expectedSign; // an event that must be there
    bool setupRuns;
  };
  const Case cases[] = {
      {"no to the download", {false}, "SETUP:" + kToken, true, "ask [s11", false},
      {"no to the install", {true, false}, "SETUP:" + kToken, true, "ask [s14", false},
      {"another token", {}, "SETUP:someone-else", true, "error Bad Secret Token!", false},
      {"an HTML page", {}, "<html><head><title>404 Not Found</title></head></html>", true,
       "error <B>404 File Not Found...</B>", false},
      {"a failing setup", {}, "SETUP:" + kToken, false, "run ", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartOver();
    host.answers = c.answers;
    host.setupResult = c.setupResult;
    Serve("RequestConfirmationBeforeDownload=1\r\nRequestConfirmationBeforeInstall=1\r\n"
          "ShutDownMethod=Using WM_CLOSE\r\nRestartProcess=1\r\nInformFinish=1\r\n",
          c.setupBody);
    host.running = {product};
    values = {};
    d.SetShotsEnabled(true);
    e.RequestForcedCheck();
    Tick();
    EXPECT_TRUE(host.Saw(c.expectedSign));
    EXPECT_EQ(host.Saw("run "), c.setupRuns);
    EXPECT_EQ(StoredVersion(), 3);
    EXPECT_FALSE(host.IsFile(SetupPath()));
    EXPECT_TRUE(host.running.count(product) == 1 || c.setupRuns); // untouched unless run
    // A product stopped for a setup that then failed is started again.
    EXPECT_EQ(host.Saw("start " + product), c.setupRuns);
    EXPECT_FALSE(host.Saw("ask [s16"));
    EXPECT_FALSE(host.Saw("end agent"));
  }
}

TEST_F(AgentAtWork, ShutDownMethodsAndTheRestartRule) {
  struct Case {
    const char* method;
    bool running, stubborn;
    std::vector<std::string> stopEvents; // what happened to the product
    bool restarted;
  };
  const std::string p = "C:\\Program Files\\App\\App.exe";
  const Case cases[] = {
      {"Using WM_CLOSE", true, false, {"close " + p, "wait " + p + " 1000"}, true},
      {"Using WM_QUIT", true, false, {"quit " + p, "wait " + p + " 1000"}, true},
      {"Using Terminate Process", true, false, {"terminate " + p, "wait " + p + " 1000"}, true},
      {"Don't Shut Down", true, false, {}, false},
      {"Something else", true, false, {"wait " + p + " 1000"}, false},
      {"Using WM_CLOSE", true, true, {"close " + p, "wait " + p + " 1000"}, false},
      {"Using WM_CLOSE", false, false, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.method) + (c.running ? " running" : " not running") +
                 (c.stubborn ? " stubborn" : ""));
    host.events.clear();
    host.running.clear();
    host.stubborn.clear();
    if (c.running) host.running.insert(p);
    if (c.stubborn) host.stubborn.insert(p);
    host.files[InfoPath()] = "";
    Serve(std::string("RestartProcess=1\r\nShutDownMethod=") + c.method + "\r\n");
    std::string error;
    ASSERT_TRUE(agentUnderTest.DownloadFileAU(kUrl, "App.info", agent::kInfoFile, error));
    EXPECT_TRUE(agentUnderTest.PerformAutoUpdate());
    std::vector<std::string> stops;
    for (const auto& ev : host.events)
      if (ev.rfind("close", 0) == 0 || ev.rfind("quit", 0) == 0 || ev.rfind("terminate", 0) == 0 ||
          ev.rfind("wait", 0) == 0)
        stops.push_back(ev);
    EXPECT_EQ(stops, c.stopEvents);
    EXPECT_EQ(host.Saw("start " + p), c.restarted);
  }
}

TEST_F(AgentAtWork, MessageBoxMethodAsksUntilTheProductIsClosed) {
  Serve("ShutDownMethod=Issue a Message Box\r\n");
  host.running.insert(product);
  host.closeAfterNotices = 3;
  host.files[InfoPath()] = "";
  std::string error;
  ASSERT_TRUE(agentUnderTest.DownloadFileAU(kUrl, "App.info", agent::kInfoFile, error));
  EXPECT_TRUE(agentUnderTest.PerformAutoUpdate());
  int notices = 0;
  for (const auto& ev : host.events) notices += ev == "notice [s15 App.exe]";
  EXPECT_EQ(notices, 3);
  EXPECT_TRUE(host.Saw("run "));
}

TEST_F(AgentAtWork, TimerRules) {
  Serve("");
  // Interval 0: the first tick checks, and that is the one check of the run.
  Original("OriginalSetup", "ProbeSecondsInterval", "0");
  Tick();
  Tick();
  int infoDownloads = 0;
  for (const auto& ev : host.events) infoDownloads += ev == "download " + kUrl + "/App.info";
  EXPECT_EQ(infoDownloads, 1);

  // Interval -1: never, unless the control message asks.
  host.events.clear();
  d.SetShotsEnabled(true);
  Original("OriginalSetup", "ProbeSecondsInterval", "-1");
  Original("OriginalSetup", "ProbeSecondsLast", "0");
  Tick();
  EXPECT_FALSE(host.Saw("download"));
  agent::RequestCycle(values, e, 0);
  Tick();
  EXPECT_TRUE(host.Saw("download " + kUrl + "/App.info"));

  // A tick while a question is open does nothing.
  host.events.clear();
  Original("OriginalSetup", "VersionOriginal", "3");
  Original("OriginalSetup", "Stamp", "1");
  Serve("RequestConfirmationBeforeDownload=1\r\n");
  int nested = 0;
  host.duringAsk = [&] {
    ++nested;
    Tick();
  };
  host.answers = {false};
  agent::RequestCycle(values, e, 0);
  Tick();
  EXPECT_EQ(nested, 1);
  infoDownloads = 0;
  for (const auto& ev : host.events) infoDownloads += ev == "download " + kUrl + "/App.info";
  EXPECT_EQ(infoDownloads, 1);

  // Remaining ticks: at 0 the agent ends.
  host.events.clear();
  host.duringAsk = nullptr;
  values.remainingTicks = 1;
  Tick();
  EXPECT_FALSE(host.Saw("quit"));
  Tick();
  EXPECT_TRUE(host.Saw("quit"));
}

TEST_F(AgentAtWork, StartDelayHoldsTheCheckBackUntilAskedFor) {
  Serve("");
  values.timerCount = -5; // "/SleepX=5"
  Original("OriginalSetup", "ProbeSecondsLast", "0");
  Tick();
  EXPECT_FALSE(host.Saw("download"));
  agent::RequestCycle(values, e, 0);
  EXPECT_EQ(values.timerCount, 1);
  Tick();
  EXPECT_TRUE(host.Saw("download"));
}

TEST_F(AgentAtWork, AskBeforeCheckNoLeavesProbeTimeAndTheNoteFollowsTestMode) {
  Serve("");
  d.SetOverride(agent::kOverrideAskBeforeCheck, 1);
  host.answers = {false};
  Tick();
  EXPECT_EQ(host.events, (std::vector<std::string>{"ask [s22 App][s23 App][s24 App]"}));
  EXPECT_EQ(d.ProbeSecondsLast(), 0);

  // Test mode adds its note; a location on a drive drops the s23 piece.
  const std::string key = agent::kTestModeKey;
  registry.values[key + "|TestMode"] = "1";
  registry.values[key + "|TestModeDate"] = "10-DEC-2026";
  registry.values[key + "|TestModeURL"] = "C:\\Updates";
  host.events.clear();
  host.answers = {false};
  Tick();
  ASSERT_EQ(host.events.size(), 1u);
  EXPECT_EQ(host.events[0], "ask [s22 App][s24 App]<P><P><T><B>PLEASE NOTE</B> - You are now "
                            "running in <B>Test Mode</B>!");
}

TEST_F(AgentAtWork, UserRequestedCheckSkipsQuestionsAndSaysWhyNothingHappened) {
  // Eligible: asked whether to check, then no download or install question,
  // no window of its own; the finish notice comes anyway.
  Serve("RequestConfirmationBeforeDownload=1\r\nRequestConfirmationBeforeInstall=1\r\n");
  agent::RequestCycle(values, e, 2);
  Tick();
  EXPECT_EQ(host.events[0], "ask [s22 App][s23 App][s24 App]");
  EXPECT_FALSE(host.Saw("ask [s1"));
  EXPECT_TRUE(host.Saw("download " + kUrl + "/AppSetup.exe (window)"));
  EXPECT_TRUE(host.Saw("notice [s16 App]"));
  EXPECT_EQ(values.userRequest, 0);

  // Offline: s2 and the system's reason.
  host.events.clear();
  host.online = false;
  host.offlineWhy = "No network.";
  agent::RequestCycle(values, e, 2);
  Tick();
  EXPECT_TRUE(host.Saw("error <P><P>No network."));

  // Online, nothing new: s21, with the code in the diagnostic mode.
  host.events.clear();
  host.online = true;
  host.diagnostic = true;
  agent::RequestCycle(values, e, 2);
  Tick();
  EXPECT_TRUE(host.Saw("notice [s21 PROG_NAME]<P><P>(3 - New version is not higher then old "
                       "version)   "));
}

TEST_F(AgentAtWork, NewsPageIsShownAndRecorded) {
  host.web[kUrl + "/App.info"].body =
      "[NewSetup]\r\nVersionNew=5\r\nStamp=9\r\nDownloadURL_UPDATE=" + kUrl +
      "\r\n[General]\r\nAutoInform=1\r\n[AutoInform]\r\nNameOfInformFile=news.txt\r\n"
      "SizeOfInformFile=1000\r\nDownloadURL_INFORM=http://shop.invalid/\r\nAutoInformW=400\r\n";
  sizes.urls[kUrl + "/news.txt"] = 1000;
  host.web[kUrl + "/news.txt"].body = "|" + package::MakeToken(kToken, 7) + "|a|b|Version 5 is out";
  Tick();
  EXPECT_TRUE(host.Saw("inform New Version|Download|400x360|http://shop.invalid/|Version 5 is out"));
  EXPECT_EQ(StoredVersion(), 5);

  // Without an inform file name nothing is fetched or shown.
  host.events.clear();
  store.values[{InfoPath(), "AutoInform", "NameOfInformFile"}] = "";
  EXPECT_FALSE(agentUnderTest.PerformAutoInform());
  EXPECT_TRUE(host.events.empty());
}

TEST_F(AgentAtWork, UpdateFromAFolderIsCopiedAndChecked) {
  const std::string share = "\\\\server\\updates";
  Serve("");
  host.files[share + "\\App.info"] = host.web[kUrl + "/App.info"].body;
  host.files[share + "\\AppSetup.exe"] = "SETUP:" + kToken;
  sizes.files[share + "\\AppSetup.exe"] = 1000;
  store.values.clear();
  agent::UpdateAgent fromShare(d, e, values, host, log,
                               {kFolder, share, "App.AutoUpdate.exe", kToken, ""});
  Original("OriginalSetup", "VersionOriginal", "3");
  Original("OriginalSetup", "ProbeSecondsInterval", "3600");
  host.files[share + "\\App.info"] = util::ReplaceAll(host.files[share + "\\App.info"], kUrl, share);
  fromShare.OnAgentTimer();
  EXPECT_TRUE(host.Saw("copy " + share + "\\AppSetup.exe"));
  EXPECT_FALSE(host.Saw("download"));
  EXPECT_TRUE(host.Saw("run "));
  EXPECT_EQ(StoredVersion(), 4);
}

TEST_F(AgentAtWork, FailedDescriptorDownloadKeepsTheLastGoodOne) {
  host.files[InfoPath()] = "[NewSetup]\r\nVersionNew=3\r\n";
  host.web[kUrl + "/App.info"].error = kUrl + "/App.info --- HTTP status 503";
  Tick();
  EXPECT_EQ(host.files[InfoPath()], "[NewSetup]\r\nVersionNew=3\r\n");
  EXPECT_FALSE(host.Saw("download " + kUrl + "/AppSetup.exe"));
  // An error page with status 200 is no descriptor either.
  host.web[kUrl + "/App.info"] = {"<html><head><title>404</title></head></html>", "", ""};
  agent::RequestCycle(values, e, 0);
  Tick();
  EXPECT_EQ(host.files[InfoPath()], "[NewSetup]\r\nVersionNew=3\r\n");
  EXPECT_GT(d.ProbeSecondsLast(), 0); // the check happened and counts
}

TEST_F(AgentAtWork, DownloadFailureNoticeNamesThePlace) {
  Serve("RequestConfirmationBeforeDownload=1\r\n");
  host.web[kUrl + "/AppSetup.exe"].error = "connection dropped";
  host.running.insert(product);
  Tick();
  EXPECT_TRUE(host.Saw("notice " + kUrl + "\\AppSetup.exe<P><P>Unable to Download File!"));
  EXPECT_FALSE(host.Saw("run "));
  EXPECT_FALSE(host.Saw("close "));
  EXPECT_EQ(StoredVersion(), 3);
}

// An agent whose package carries the vendor's key: a real key pair, real
// signatures. Each case changes one thing of a good signed update.
TEST_F(AgentAtWork, SignedAgentRunsOnlyTheSignedSetup) {
  const pack::KeyPair vendor = pack::GenerateUpdateKey();
  const pack::KeyPair stranger = pack::GenerateUpdateKey();
  const std::string key = pack::PublicKeyHexFromPem(vendor.publicPem, "vendor.pub");
  const std::string setup = "SETUP:" + kToken + "\nthe new version";
  const std::string hashLine = "SHA256OfUpdateFile=" + trust::Sha256Of(setup) + "\r\n";
  const std::string refusedInfo = "error <B>Update refused</B><P><P>The update information";
  const std::string refusedSetup = "error <B>Update refused</B><P><P>The downloaded setup";

  struct Case {
    const char* name;
    std::string infoExtra;                               // appended to the descriptor
    std::function<void(std::string& info, std::string& sig)> tamper; // after signing
    std::string servedSetup;
    bool userRequested;
    const char* expectedSign;
    bool setupRuns;
  };
  const auto none = [](std::string&, std::string&) {};
  std::string flipped = setup;
  flipped.back() ^= 1;
  const Case cases[] = {
      {"signed and the same setup", hashLine, none, setup, false, "run ", true},
      {"no signature", hashLine, [](std::string&, std::string& sig) { sig.clear(); }, setup,
       false, refusedInfo.c_str(), false},
      {"a byte of the descriptor flipped", hashLine,
       [](std::string& info, std::string&) { info[info.find("VersionNew=4") + 11] = '5'; }, setup,
       false, refusedInfo.c_str(), false},
      {"a byte of the signature flipped", hashLine,
       [](std::string&, std::string& sig) { sig[sig.size() / 2] ^= 1; }, setup, false,
       refusedInfo.c_str(), false},
      {"signed by another key", hashLine,
       [&](std::string& info, std::string& sig) { sig = pack::SignWithKey(stranger.privatePem, info); },
       setup, false, refusedInfo.c_str(), false},
      {"the setup changed", hashLine, none, flipped, false, refusedSetup.c_str(), false},
      {"no hash in the descriptor", "", none, setup, false, refusedSetup.c_str(), false},
      {"refused on a user's request: one box", "", [](std::string&, std::string& sig) { sig = "x"; },
       setup, true, refusedInfo.c_str(), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartOver();
    host.files[InfoPath()] = "[NewSetup]\r\nVersionNew=3\r\n"; // the last good one
    Serve("ShutDownMethod=Using WM_CLOSE\r\nRestartProcess=1\r\n" + c.infoExtra, c.servedSetup);
    std::string info = host.web[kUrl + "/App.info"].body;
    std::string sig = pack::SignWithKey(vendor.privatePem, info);
    c.tamper(info, sig);
    host.web[kUrl + "/App.info"].body = info;
    if (sig.empty())
      host.web.erase(kUrl + "/App.info.sig");
    else
      host.web[kUrl + "/App.info.sig"].body = sig;
    host.running = {product};
    values = {};
    d.SetShotsEnabled(true);
    agent::UpdateAgent signedAgent(d, e, values, host, log,
                                   {kFolder, kUrl, "App.AutoUpdate.exe", kToken, key});
    if (c.userRequested)
      agent::RequestCycle(values, e, 2);
    else
      e.RequestForcedCheck();
    signedAgent.OnAgentTimer();

    EXPECT_TRUE(host.Saw(c.expectedSign));
    EXPECT_EQ(host.Saw("run "), c.setupRuns);
    EXPECT_EQ(StoredVersion(), c.setupRuns ? 4 : 3);
    if (c.setupRuns) continue;
    EXPECT_TRUE(host.running.count(product)); // untouched
    EXPECT_FALSE(host.IsFile(SetupPath()));    // deleted, if it came at all
    const bool descriptorRefused = c.expectedSign == refusedInfo.c_str();
    // A refused descriptor is not even written, and nothing is downloaded on it.
    EXPECT_EQ(host.files[InfoPath()] == "[NewSetup]\r\nVersionNew=3\r\n", descriptorRefused);
    EXPECT_EQ(host.Saw("download " + kUrl + "/AppSetup.exe"), !descriptorRefused);
    int boxes = 0;
    for (const std::string& event : host.events)
      boxes += event.rfind("error ", 0) == 0 || event.rfind("notice ", 0) == 0;
    EXPECT_EQ(boxes, 1);
  }
}


// A signed agent: a vendor key pair, a descriptor signed with it and served
// with its .sig, and the setup it names.
class SignedAgentAtWork : public AgentAtWork {
protected:
  SignedAgentAtWork()
      : vendor(pack::GenerateUpdateKey()),
        key(pack::PublicKeyHexFromPem(vendor.publicPem, "vendor.pub")),
        signedAgent(d, e, values, host, log, {kFolder, kUrl, "App.AutoUpdate.exe", kToken, key}) {}

  // Serves a signed eligible update with `extra` lines (and the setup).
  void ServeSigned(const std::string& extra, const std::string& setupBody = kSetup) {
    Serve("SHA256OfUpdateFile=" + trust::Sha256Of(setupBody) + "\r\n" + extra, setupBody);
    SignServed();
  }
  void SignServed() {
    host.web[kUrl + "/App.info.sig"].body =
        pack::SignWithKey(vendor.privatePem, host.web[kUrl + "/App.info"].body);
  }
  void Check(bool userRequested = false) {
    d.SetShotsEnabled(true);
    if (userRequested)
      agent::RequestCycle(values, e, 2);
    else
      e.RequestForcedCheck();
    signedAgent.OnAgentTimer();
  }
  int Boxes() const {
    int boxes = 0;
    for (const std::string& event : host.events)
      boxes += event.rfind("error ", 0) == 0 || event.rfind("notice ", 0) == 0;
    return boxes;
  }

  inline static const std::string kSetup = "SETUP:" + kToken + "\nthe new version";
  pack::KeyPair vendor;
  std::string key;
  agent::UpdateAgent signedAgent;
};

TEST_F(SignedAgentAtWork, DecidesOnlyFromADescriptorVerifiedInThisCheck) {
  // On disk: an eligible descriptor nobody signed (a keyless agent's, or
  // anyone's who can write the folder).
  const std::string unsigned_ =
      "[NewSetup]\r\nVersionNew=9\r\nStamp=7\r\nDownloadURL_UPDATE=" + kUrl +
      "\r\nNameOfUpdateFile=AppSetup.exe\r\nSizeOfUpdateFile=1000\r\n";
  struct Case {
    const char* name;
    std::string body, error, failWrite;
  };
  const Case cases[] = {
      {"a captive portal's page", "<!DOCTYPE html><html lang=\"en\"><body>Log in</body></html>",
       "", ""},
      {"plain text", "hello, this is no descriptor\r\n", "", ""},
      {"an empty body", "", "", ""},
      {"an HTTP error", "", "x --- HTTP status 503", ""},
      {"the verified descriptor cannot be written", "", "", InfoPath()},
      {"its signature cannot be kept", "", "", InfoPath() + ".sig"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartOver();
    ServeSigned("");
    if (c.failWrite.empty()) host.web[kUrl + "/App.info"] = {c.body, c.error, ""};
    host.WriteFile(InfoPath(), unsigned_);
    host.failWrite = c.failWrite;
    Check();
    EXPECT_EQ(e.LastEligibilityCode(), agent::kInfoNotDownloaded);
    EXPECT_FALSE(host.Saw("download " + kUrl + "/AppSetup.exe"));
    EXPECT_FALSE(host.Saw("run "));
    EXPECT_FALSE(host.Saw("download " + kUrl + "/App.info.sig") && c.failWrite.empty());
    EXPECT_EQ(d.HighestSignedStamp(), 0);
  }
  host.failWrite.clear();
}

TEST_F(SignedAgentAtWork, ExpiredOrRolledBackDescriptorsAreRefused) {
  struct Case {
    const char* name;
    std::string lines;
    std::int64_t highestSeen;
    bool runs;
  };
  const Case cases[] = {
      {"no Expires", "", 0, true},
      {"expires today (UTC)", "Expires=2026-12-10\r\n", 0, true},
      {"expires next year", "Expires=2027-01-01\r\n", 0, true},
      {"expired yesterday", "Expires=2026-12-09\r\n", 0, false},
      {"Expires no date", "Expires=10-DEC-2026\r\n", 0, false},
      {"the same Stamp as the highest seen", "", 2, true},
      {"a Stamp below the highest seen", "", 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartOver();
    d.SetHighestSignedStamp(c.highestSeen);
    ServeSigned(c.lines);
    Check();
    EXPECT_EQ(host.Saw("run "), c.runs);
    EXPECT_EQ(host.Saw("error <B>Update refused</B><P><P>The update information for <B>App</B> "
                       "carries its vendor's signature but is out of date"),
              !c.runs);
    EXPECT_EQ(host.IsFile(InfoPath()), c.runs); // a refused one is not even written
    EXPECT_EQ(d.HighestSignedStamp(), c.runs ? 2 : c.highestSeen);
  }
}

TEST_F(SignedAgentAtWork, NewsPageShownOnlyWithTheSignedHash) {
  const std::string page = "|" + package::MakeToken(kToken, 7) + "|a|b|Version 5 is out";
  struct Case {
    const char* name;
    std::string hashLine;
    std::string served;
    bool shown;
  };
  std::string changed = page;
  changed.back() = '!';
  const Case cases[] = {
      {"the signed page", "SHA256OfInformFile=" + trust::Sha256Of(page) + "\r\n", page, true},
      {"another page", "SHA256OfInformFile=" + trust::Sha256Of(page) + "\r\n", changed, false},
      {"no hash signed", "", page, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartOver();
    host.web[kUrl + "/App.info"].body =
        "[NewSetup]\r\nVersionNew=5\r\nStamp=9\r\nDownloadURL_UPDATE=" + kUrl +
        "\r\n[General]\r\nAutoInform=1\r\n[AutoInform]\r\nNameOfInformFile=news.txt\r\n"
        "SizeOfInformFile=1000\r\n" + c.hashLine;
    SignServed();
    sizes.urls[kUrl + "/news.txt"] = 1000;
    host.web[kUrl + "/news.txt"].body = c.served;
    Check();
    EXPECT_EQ(host.Saw("inform "), c.shown);
    EXPECT_EQ(host.Saw("error <B>Update refused</B><P><P>The news page of <B>App</B>"), !c.shown);
    EXPECT_EQ(StoredVersion(), c.shown ? 5 : 3);
    EXPECT_EQ(d.Stamp(), c.shown ? 9 : 1); // a refused page is tried again later
  }
}

TEST_F(SignedAgentAtWork, TheSetupRunIsTheSetupHashed) {
  // Someone with write access to the folder swaps the checked setup while
  // the install question is open.
  ServeSigned("RequestConfirmationBeforeInstall=1\r\n");
  bool swapped = true;
  host.duringAsk = [&] { swapped = host.Replace(SetupPath(), "SETUP:" + kToken + "\nevil"); };
  Check();
  ASSERT_TRUE(host.Saw("run "));
  EXPECT_FALSE(swapped);
  EXPECT_EQ(host.ranSha256, trust::Sha256Of(kSetup));
  EXPECT_TRUE(host.held.empty()); // let go after the run
  EXPECT_FALSE(host.IsFile(SetupPath()));
}

TEST_F(SignedAgentAtWork, BackgroundRefusalIsShownOncePerReleaseAndLoggedEachTime) {
  ServeSigned("");
  host.web[kUrl + "/App.info.sig"].body = "not a signature";
  auto refusals = [&] {
    int n = 0;
    for (const std::string& line : log.log) n += line.rfind("ERROR: refused", 0) == 0;
    return n;
  };
  Check();
  Check();
  EXPECT_EQ(Boxes(), 1);
  EXPECT_EQ(refusals(), 2);
  Check(true); // the user asked: always said
  EXPECT_EQ(Boxes(), 2);
  // Another release refused: shown once again.
  ServeSigned("ProgramName=App 5\r\n");
  host.web[kUrl + "/App.info.sig"].body = "not a signature";
  Check();
  Check();
  EXPECT_EQ(Boxes(), 3);
  EXPECT_EQ(refusals(), 5);
}

TEST_F(AgentAtWork, FailedAttemptsAreTriedAgainWithAGrowingPause) {
  // A cut download, a setup that fails: the release is not recorded, the
  // next due check tries again; a declined one waits for the re-ask time.
  Serve("");
  Original("OriginalSetup", "ReAskSecondsInterval", "86400");
  host.web[kUrl + "/AppSetup.exe"].error = "connection dropped";
  const auto setupDownloads = [&] {
    int n = 0;
    for (const auto& ev : host.events) n += ev == "download " + kUrl + "/AppSetup.exe";
    return n;
  };
  const auto checkAt = [&](int minute) {
    clock.Set(2026, 12, 10, 10, minute, 0);
    e.RequestForcedCheck();
    Tick();
  };
  checkAt(0);
  EXPECT_EQ(d.Stamp(), 1);
  EXPECT_EQ(d.FailedAttempts(), 1);
  checkAt(1); // the next check tries again at once
  EXPECT_EQ(setupDownloads(), 2);
  EXPECT_EQ(d.FailedAttempts(), 2);
  checkAt(2); // then the pause: 15 minutes after the second failure
  EXPECT_EQ(setupDownloads(), 2);
  EXPECT_EQ(e.LastEligibilityCode(), agent::kTooEarly);
  checkAt(17);
  EXPECT_EQ(setupDownloads(), 3);
  checkAt(40); // 30 minutes after the third
  EXPECT_EQ(setupDownloads(), 3);
  checkAt(48);
  EXPECT_EQ(setupDownloads(), 4);

  // The network is back: installed, recorded, the count cleared.
  host.web[kUrl + "/AppSetup.exe"].error.clear();
  checkAt(59);
  EXPECT_EQ(setupDownloads(), 4); // still in the pause after the fourth
  agent::RequestCycle(values, e, 2); // the user asks: no pause
  Tick();
  EXPECT_TRUE(host.Saw("run "));
  EXPECT_EQ(StoredVersion(), 4);
  EXPECT_EQ(d.Stamp(), 2);
  EXPECT_EQ(d.FailedAttempts(), 0);

  // Declined: recorded, "Too early for retesting" until the re-ask time.
  StartOver();
  Original("OriginalSetup", "ReAskSecondsInterval", "86400");
  Serve("RequestConfirmationBeforeDownload=1\r\n");
  host.answers = {false};
  checkAt(0);
  EXPECT_EQ(d.Stamp(), 2);
  checkAt(30);
  EXPECT_EQ(e.LastEligibilityCode(), agent::kTooEarly);
  EXPECT_EQ(setupDownloads(), 0);
}

TEST_F(AgentAtWork, PartialDownloadsOfAReplacedReleaseAreRemoved) {
  Serve("");
  host.web[kUrl + "/AppSetup.exe"].error = "connection dropped";
  const std::string removal = "remove partials " + SetupPath();
  const auto checkAt = [&](int minute) {
    clock.Set(2026, 12, 10, 10, minute, 0);
    e.RequestForcedCheck();
    Tick();
  };
  checkAt(0); // broken: its partial stays for the next attempt
  checkAt(1); // the same release again
  EXPECT_FALSE(host.Saw("remove partials"));

  // The descriptor cannot be fetched: nothing is known to be replaced.
  host.web[kUrl + "/App.info"].error = "timed out";
  checkAt(2);
  EXPECT_FALSE(host.Saw("remove partials"));

  // A new release under another name: the old one's partials go, once.
  host.web[kUrl + "/App.info"].error.clear();
  host.web[kUrl + "/App.info"].body = util::ReplaceAll(
      util::ReplaceAll(host.web[kUrl + "/App.info"].body, "AppSetup.exe", "AppSetup5.exe"),
      "VersionNew=4", "VersionNew=5");
  host.web[kUrl + "/AppSetup5.exe"].body = "SETUP:" + kToken;
  sizes.urls[kUrl + "/AppSetup5.exe"] = 1000;
  agent::RequestCycle(values, e, 2);
  Tick();
  EXPECT_EQ(std::count(host.events.begin(), host.events.end(), removal), 1);
  EXPECT_TRUE(host.Saw("run " + util::JoinPath(kFolder, "AppSetup5.exe")));
}

TEST_F(AgentAtWork, DescriptorFileNamesCannotNameTheAgentsOwnFiles) {
  for (const char* name : {"App.original", "app.INFO", "App.info.sig", "App.AutoUpdate.exe",
                           "X_App.AutoUpdate.exe", "CON", "setup.exe.", "a|b.exe"}) {
    SCOPED_TRACE(name);
    StartOver();
    Serve(std::string("NameOfUpdateFile=") + name + "\r\n");
    host.web[kUrl + "/App.info"].body =
        util::ReplaceAll(host.web[kUrl + "/App.info"].body, "NameOfUpdateFile=AppSetup.exe\r\n", "");
    sizes.urls[kUrl + "/" + name] = 1000;
    host.files[util::JoinPath(kFolder, name)] = "mine";
    Tick();
    EXPECT_FALSE(host.Saw("download " + kUrl + "/" + name));
    EXPECT_EQ(host.files[util::JoinPath(kFolder, name)], "mine");
    EXPECT_FALSE(host.Saw("run "));
    values = {};
    d.SetShotsEnabled(true);
  }
  EXPECT_TRUE(agent::IsUsableDownloadName("dir\\AppSetup 2.exe", "App.AutoUpdate.exe",
                                          "C:\\x\\App.info"));
}

TEST(SignedDescriptorRules, RetryPauseGrowsToADay) {
  const std::int64_t want[][2] = {{0, 0},     {1, 0},     {2, 900},  {3, 1800},
                                  {4, 3600},  {8, 57600}, {9, 86400}, {1000, 86400}};
  for (const auto& w : want) EXPECT_EQ(agent::RetryPauseSeconds(w[0]), w[1]) << w[0];
}

TEST(SignedDescriptorRules, IniTextValueReadsAsTheAgentDoes) {
  const std::string text = "\xEF\xBB\xBF[NewSetup]\r\n Stamp = 7 \r\nExpires=2026-01-02\r\n"
                           "[Other]\r\nStamp=9\r\n[newsetup]\r\nStamp=8\r\n";
  EXPECT_EQ(agent::IniTextValue(text, "NewSetup", "Stamp"), "7");
  EXPECT_EQ(agent::IniTextValue(text, "NewSetup", "expires"), "2026-01-02");
  EXPECT_EQ(agent::IniTextValue(text, "Other", "Stamp"), "9");
  EXPECT_EQ(agent::IniTextValue(text, "NewSetup", "Missing"), "");
}

TEST_F(AgentAtWork, EachDownloadIsBoundedByItsKind) {
  Serve("");
  Tick();
  ASSERT_EQ(host.requests.size(), 2u);
  // The descriptor is kept in memory: capped. The setup may not pass the
  // size the descriptor names (plus the client's margin).
  EXPECT_EQ(host.requests[0].bounds.cap, http::kInfoBodyCap);
  EXPECT_EQ(host.requests[1].bounds.cap, 0u);
  EXPECT_EQ(host.requests[1].bounds.expected, 1000u);
  EXPECT_TRUE(host.requests[1].ifChanged.empty());
}

TEST_F(AgentAtWork, UnchangedDescriptorCostsNoBodyAndChangesNothing) {
  const std::string current = "[NewSetup]\r\nVersionNew=3\r\n";
  host.web[kUrl + "/App.info"] = {current, "", "\"v1\""};
  Tick();
  EXPECT_EQ(host.files[InfoPath()], current);
  EXPECT_TRUE(host.requests.back().ifChanged.empty()); // nothing kept yet
  EXPECT_EQ(host.files[InfoPath() + ".validators"], kUrl + "/App.info\n\"v1\"\n\n");

  // The server says "not modified" (whatever else it holds): the check goes
  // on with the descriptor on disk, which stays as it was.
  host.web[kUrl + "/App.info"].body = "[NewSetup]\r\nVersionNew=9\r\n";
  d.SetShotsEnabled(true);
  e.RequestForcedCheck();
  Tick();
  EXPECT_EQ(host.requests.back().ifChanged.etag, "\"v1\"");
  EXPECT_EQ(host.files[InfoPath()], current);
  EXPECT_FALSE(host.Saw("download " + kUrl + "/AppSetup.exe"));
  // Another URL's validators are not sent.
  host.files[InfoPath() + ".validators"] = "http://elsewhere/App.info\n\"v1\"\n\n";
  e.RequestForcedCheck();
  Tick();
  EXPECT_TRUE(host.requests.back().ifChanged.empty());
  EXPECT_EQ(host.files[InfoPath()], "[NewSetup]\r\nVersionNew=9\r\n");
}

} // namespace
