// A fleet of installs through the agent's own deciding code (no Wine, no
// network): how a staged rollout and the check spread behave at scale.
//
//   fleet_sim [INSTALLS]      (default 100000)
//
// 1. A release with RolloutStart and RolloutDays=7: the share of installs
//    eligible at midday of each day against the plan. Target: within one
//    percentage point every day.
// 2. INSTALLS agents started in the same minute, all overdue, with a daily
//    interval: the busiest second of their first and of their second check,
//    with the spread on and with it off (as before the spread existed).
//    Target: the spread's busiest second at most a third of the unspread one.
// Exits 1 when a target is missed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <string_view>

#include "agent/eligibility.h"
#include "agent/rollout.h"
#include "agent_fakes.h"

namespace {

using agent_test::FakeClock;
using agent_test::FakeRegistry;
using agent_test::FakeSizeProbe;
using agent_test::MemorySettings;

class QuietLog : public platform::LogSink {
public:
  void Log(std::string_view) override {}
  void Trace(std::string_view) override {}
  std::uint32_t ProcessId() override { return 1; }
};

std::mt19937_64 g_random(20261210);

std::uint32_t Draw(std::uint32_t low, std::uint32_t high) {
  return std::uniform_int_distribution<std::uint32_t>(low, high)(g_random);
}

constexpr std::int64_t kDay = 86400;
// 2026-12-10 00:00 UTC, and the same instant as the agents' local clock
// (the simulation runs in UTC).
constexpr std::int64_t kStartUtc = 20797 * kDay;
const char* const kStartDate = "2026-12-10";
constexpr int kRampDays = 7;

struct Install {
  MemorySettings store;
  FakeClock clock;
  FakeRegistry registry;
  FakeSizeProbe sizes;
  QuietLog log;
  agent::Descriptors d{store, "O", "I"};
  agent::Eligibility e{d, clock, registry, sizes, log};

  Install() {
    e.SetSpreadDraw(Draw);
    Original("VersionOriginal", "1");
    Info("VersionNew", "2");
    Info("Stamp", "5");
    Info("DownloadURL_UPDATE", "http://upd.invalid");
    Info("NameOfUpdateFile", "Setup.exe");
    Info("SizeOfUpdateFile", "1000");
    sizes.urls["http://upd.invalid/Setup.exe"] = 1000;
  }
  void Original(const char* key, const std::string& value) {
    store.values[{"O", "OriginalSetup", key}] = value;
  }
  void Info(const char* key, const std::string& value) {
    store.values[{"I", "NewSetup", key}] = value;
  }
  // Agent seconds of the simulation's UTC seconds: the same instant.
  void SetTime(std::int64_t utc) {
    clock.utc = utc;
    clock.now = (utc + 25569 * kDay) / double(kDay); // days since 1899-12-30
  }
  std::int64_t AgentNow() { return agent::AgentSeconds(clock.now); }
  bool Eligible() {
    int code = 0;
    std::string reason;
    return e.GetOkToPerformAU(true, code, reason);
  }
  // The first second from `from` at which a check is due (the due time
  // only moves forward, so a binary search finds it).
  std::int64_t FirstDueSecond(std::int64_t from, std::int64_t to) {
    SetTime(from);
    if (e.ShotTimeStatus() != agent::kShotNone) return from;
    while (to - from > 1) {
      const std::int64_t mid = from + (to - from) / 2;
      SetTime(mid);
      (e.ShotTimeStatus() != agent::kShotNone ? to : from) = mid;
    }
    return to;
  }
};

bool Rollout(int installs) {
  std::printf("Staged rollout over %d days, %d installs: eligible at midday\n", kRampDays, installs);
  std::printf("  day   plan %%   eligible %%   difference\n");
  std::vector<int> eligible(kRampDays + 2, 0);
  for (int i = 0; i < installs; ++i) {
    Install in;
    in.Info("RolloutStart", kStartDate);
    in.Info("RolloutDays", std::to_string(kRampDays));
    for (int day = 0; day <= kRampDays + 1; ++day) {
      in.SetTime(kStartUtc + day * kDay + kDay / 2);
      eligible[day] += in.Eligible();
    }
  }
  const agent::RolloutPlan plan = agent::ReadRolloutPlan("", kStartDate, std::to_string(kRampDays));
  double worst = 0;
  for (int day = 0; day <= kRampDays + 1; ++day) {
    const double planned = agent::RolloutShare(plan, kStartUtc + day * kDay + kDay / 2);
    const double got = 100.0 * eligible[day] / installs;
    worst = std::max(worst, std::abs(got - planned));
    std::printf("  %3d   %6.1f   %10.2f   %+10.2f\n", day, planned, got, got - planned);
  }
  std::printf("  largest difference %.2f points (target: at most 1)\n\n", worst);
  return worst <= 1.0;
}

// Of `times`, the share (in %) that falls into the busiest second.
double BusiestSecond(const std::vector<std::int64_t>& times) {
  std::map<std::int64_t, int> perSecond;
  int most = 0;
  for (std::int64_t t : times)
    most = std::max(most, ++perSecond[t]);
  return 100.0 * most / times.size();
}

bool Herd(int installs) {
  const std::int64_t interval = kDay;
  double share[2][2] = {};
  const std::string spreadSwitch = std::string(agent::kTestModeKey) + "|CheckSpread";
  for (int spread = 0; spread < 2; ++spread) {
    std::vector<std::int64_t> first, second;
    first.reserve(installs);
    second.reserve(installs);
    std::uniform_int_distribution<int> bootSecond(0, 59);
    for (int i = 0; i < installs; ++i) {
      Install in;
      if (!spread) in.registry.values.insert_or_assign(spreadSwitch, std::string(1, '0'));
      in.SetTime(kStartUtc);
      in.e.RefreshTestMode(true);
      in.Original("ProbeSecondsInterval", std::to_string(interval));
      in.Original("ProbeSecondsLast", std::to_string(in.AgentNow() - 2 * interval));
      // The agent's first tick comes a second after its start.
      const std::int64_t boot = kStartUtc + bootSecond(g_random) + 1;
      const std::int64_t one = in.FirstDueSecond(boot, boot + 2 * agent::kStartSpreadSeconds);
      in.SetTime(one);
      in.d.SetProbeSecondsLast(in.AgentNow());
      const std::int64_t two =
          in.FirstDueSecond(one + interval, one + interval + 2 * agent::MaxCheckSpread(interval));
      first.push_back(one);
      second.push_back(two);
    }
    share[spread][0] = BusiestSecond(first);
    share[spread][1] = BusiestSecond(second);
  }
  std::printf("%d installs started in the same minute, checking daily: busiest second\n", installs);
  std::printf("  check    without spread   with spread\n");
  std::printf("  first    %13.2f %%   %9.2f %%\n", share[0][0], share[1][0]);
  std::printf("  second   %13.2f %%   %9.2f %%\n", share[0][1], share[1][1]);
  const bool ok = share[1][0] * 3 <= share[0][0] && share[1][1] * 3 <= share[0][1];
  std::printf("  target: the spread's busiest second at most a third of the unspread one: %s\n",
              ok ? "met" : "MISSED");
  return ok;
}

} // namespace

int main(int argc, char** argv) {
  const int installs = argc > 1 ? std::atoi(argv[1]) : 100000;
  if (installs <= 0) {
    std::fprintf(stderr, "usage: fleet_sim [INSTALLS]\n");
    return 2;
  }
  const bool rollout = Rollout(installs);
  const bool herd = Herd(installs);
  return rollout && herd ? 0 : 1;
}
