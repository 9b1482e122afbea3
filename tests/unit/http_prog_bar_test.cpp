#include "http/prog_bar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

using http::TProgBar;

// What reached the sinks, the pump and the timer hook, in order.
std::vector<std::string> g_log;

void RecordPump(std::uint32_t ms) {
  g_log.push_back("pump " + std::to_string(ms));
}
void RecordTimerKill(std::uintptr_t window, std::uint32_t timerId) {
  g_log.push_back("kill " + std::to_string(window) + " " + std::to_string(timerId));
}
std::string Event(const char* sink, int event, int position, int maximum, const std::string& text) {
  return std::string(sink) + " " + std::to_string(event) + " " + std::to_string(position) + " " +
         std::to_string(maximum) + " " + text;
}
void RecordProc(TProgBar*, int event, int position, int maximum, const std::string& text) {
  g_log.push_back(Event("proc", event, position, maximum, text));
}
void RecordMethod(void* object, TProgBar*, int event, int position, int maximum,
                  const std::string& text) {
  g_log.push_back(Event(static_cast<const char*>(object), event, position, maximum, text));
}

std::vector<std::string> WithoutPumps(std::vector<std::string> log) {
  log.erase(std::remove_if(log.begin(), log.end(),
                           [](const std::string& s) { return s.rfind("pump", 0) == 0; }),
            log.end());
  return log;
}

char g_methodName[] = "method";

class ProgBar : public ::testing::Test {
protected:
  void SetUp() override {
    g_log.clear();
    http::SetMessagePump(RecordPump);
    http::SetTimerKiller(RecordTimerKill);
  }
  void TearDown() override {
    http::SetMessagePump(nullptr);
    http::SetTimerKiller(nullptr);
    http::TakeQueueEntries(kWindow);
  }
  static constexpr std::uintptr_t kWindow = 4660;
};

TEST_F(ProgBar, EventsGoToTheFirstSinkThatExists) {
  const struct {
    bool window, method, proc;
    std::vector<std::string> delivered;
    std::size_t queued;
  } cases[] = {
      {false, false, true, {"proc 1 1 13 ", "proc 2 0 0 1.5 KB", "proc 3 0 0 "}, 0},
      {false,
       true,
       true,
       {"method 1 1 13 ", "method 2 0 0 1.5 KB", "method 5 0 0 setup.exe", "method 3 0 0 "},
       0},
      {true, true, true, {}, 4},
      {false, false, false, {}, 0},
  };
  for (const auto& c : cases) {
    g_log.clear();
    TProgBar bar(c.proc ? RecordProc : nullptr);
    if (c.method) bar.method = {g_methodName, RecordMethod};
    if (c.window) bar.window = kWindow;
    bar.SetRange(1, 13);
    bar.SetText("1.5 KB");
    bar.SetCaption("setup.exe"); // never to the procedure
    bar.Finish(0, 0);
    EXPECT_EQ(WithoutPumps(g_log), c.delivered);
    EXPECT_EQ(http::TakeQueueEntries(kWindow).size(), c.queued);
    bar.window = 0; // the destructor's events are another test's business
  }
}

TEST_F(ProgBar, PausesAroundEachEventEvenWithoutSink) {
  TProgBar bar(nullptr);
  bar.rangePauseBefore = 11;
  bar.rangePauseAfter = 12;
  bar.textPauseBefore = 21;
  bar.textPauseAfter = 22;
  bar.endPauseBefore = 31;
  bar.endPauseAfter = 32;
  bar.SetRange(0, 5);
  bar.SetText("x");
  bar.SetCaption("y");
  bar.Finish(41, 42);
  const std::vector<std::string> expected = {"pump 11", "pump 12", "pump 21", "pump 22", "pump 0",
                                             "pump 41", "pump 31", "pump 32", "pump 42"};
  EXPECT_EQ(g_log, expected);
}

TEST_F(ProgBar, PumpSurroundsTheDelivery) {
  TProgBar bar(RecordProc);
  bar.textPauseBefore = 1;
  bar.textPauseAfter = 2;
  bar.SetText("t");
  bar.SetCaption("c");
  EXPECT_EQ(g_log, (std::vector<std::string>{"pump 1", "proc 2 0 0 t", "pump 2", "pump 0"}));
}

TEST_F(ProgBar, DestructionFinishesAndKillsTheDisplayTimer) {
  {
    TProgBar bar(RecordProc);
    bar.endPauseAfter = 7;
  }
  EXPECT_EQ(g_log,
            (std::vector<std::string>{"pump 0", "pump 0", "proc 3 0 0 ", "pump 7", "pump 0"}));
  g_log.clear();
  {
    TProgBar bar(RecordProc);
    bar.window = kWindow;
    bar.timerId = 3;
  }
  EXPECT_EQ(WithoutPumps(g_log), (std::vector<std::string>{"kill 4660 3"}));
  const auto entries = http::TakeQueueEntries(kWindow);
  ASSERT_EQ(entries.size(), 1u);
  http::ProgressEvent e;
  ASSERT_TRUE(http::ParseQueueEntry(entries[0], e));
  EXPECT_EQ(e.event, http::kEventEnd);
}

TEST(ProgQueue, EntryFormatAndReadBack) {
  TProgBar bar(nullptr);
  const std::string id = std::to_string(reinterpret_cast<std::uintptr_t>(&bar));
  EXPECT_EQ(http::MakeQueueEntry(1234, &bar, 2, 0, 0, "1.5/1,024.0 KB"),
            "1234=|" + id + "|2|0|0|1.5/1,024.0 KB|");
  EXPECT_EQ(http::MakeQueueEntry(1234, &bar, 1, 1, 13, ""), "1234=|" + id + "|1|1|13||");

  // A "|" in the text makes the entry choose another separator.
  const std::string entry = http::MakeQueueEntry(99, &bar, 5, 0, 0, "a|b");
  EXPECT_EQ(entry, "99=*" + id + "*5*0*0*a|b*");
  http::ProgressEvent e;
  ASSERT_TRUE(http::ParseQueueEntry(entry, e));
  EXPECT_EQ(e.window, 99u);
  EXPECT_EQ(e.sender, reinterpret_cast<std::uintptr_t>(&bar));
  EXPECT_EQ(e.event, 5);
  EXPECT_EQ(e.text, "a|b");

  for (const char* bad : {"", "12", "12=|1|2|3|", "x=|1|2|3|4|t|", "12=|1|2|z|4|t|"})
    EXPECT_FALSE(http::ParseQueueEntry(bad, e)) << bad;
}

TEST(ProgQueue, TakeReturnsOnlyThatWindowsEntriesInOrder) {
  TProgBar a(nullptr), b(nullptr);
  a.window = 12;
  b.window = 123; // "12=" must not take "123=" entries
  a.SetText("a1");
  b.SetText("b1");
  a.SetText("a2");
  const auto taken = http::TakeQueueEntries(12);
  ASSERT_EQ(taken.size(), 2u);
  http::ProgressEvent e;
  ASSERT_TRUE(http::ParseQueueEntry(taken[0], e));
  EXPECT_EQ(e.text, "a1");
  ASSERT_TRUE(http::ParseQueueEntry(taken[1], e));
  EXPECT_EQ(e.text, "a2");
  EXPECT_TRUE(http::TakeQueueEntries(12).empty());
  EXPECT_EQ(http::TakeQueueEntries(123).size(), 1u);
  a.window = b.window = 0;
}

TEST(ProgQueue, ConcurrentProducersLoseNothing) {
  constexpr int kThreads = 4, kEvents = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([] {
      TProgBar bar(nullptr);
      bar.window = 777;
      for (int i = 0; i < kEvents; ++i)
        bar.SetText(std::to_string(i));
      bar.window = 0;
    });
  std::size_t taken = 0; // the consumer takes while the producers append
  for (int i = 0; i < 200; ++i) {
    taken += http::TakeQueueEntries(777).size();
    std::this_thread::yield();
  }
  for (auto& t : threads)
    t.join();
  taken += http::TakeQueueEntries(777).size();
  EXPECT_EQ(taken, std::size_t{kThreads * kEvents});
}

} // namespace
