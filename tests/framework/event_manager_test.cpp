#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "framework/qva_component.h"
#include "tests/framework/python_check.h"
#include "tests/support/test_paths.h"

namespace {

// Trace events are stamped with a clock the test sets.
std::atomic<uint64_t> g_now{0};
uint64_t TestClock() { return g_now.load(); }

class TraceEvents : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = QVASetTimeSource(TestClock); }
  void TearDown() override { QVASetTimeSource(previous_); }

 private:
  QVATimeSourceFn previous_ = nullptr;
};

std::vector<uint32_t> RingIds(EventManager* m) {
  std::vector<uint32_t> ids;
  for (uint32_t i = 0; i < m->count; ++i) ids.push_back(m->events[(m->oldest + i) % m->capacity].id);
  return ids;
}

struct Step {
  uint32_t category;
  uint64_t time;
  uint32_t expectedId;
};

TEST_F(TraceEvents, RecordingRulesAsATable) {
  const struct {
    const char* name;
    uint32_t capacity;
    uint32_t mask;
    std::vector<Step> steps;
    std::vector<uint32_t> ringIds;
    std::function<void(EventManager*)> check;
  } cases[] = {
      {"a full ring replaces the oldest", 3, 0xFFFFFFFF, {{0, 1, 0}, {0, 2, 1}, {0, 3, 2}, {0, 4, 3}, {0, 5, 4}},
       {2, 3, 4}, [](EventManager* m) {
         EXPECT_EQ(m->oldest, 2u);
         EXPECT_EQ(m->next, 2u);
       }},
      {"the mask filters categories, not category-less words", 8, 0x4, {{8, 1, 0}, {0, 2, 0}}, {0},
       [](EventManager* m) { EXPECT_EQ(m->events[0].category, 0u); }},
      {"a close request closes the open event of its category", 8, 0xFFFFFFFF,
       {{kTraceStart | 0x10, 10, 0}, {0x8, 12, 1}, {kTraceClose | 0x10, 25, 0}}, {0, 1},
       [](EventManager* m) {
         EXPECT_EQ(m->events[0].endTime, 25u);
         EXPECT_EQ(m->events[1].endTime, 12u);
       }},
      {"a close request on an empty ring records a started event", 8, 0xFFFFFFFF, {{kTraceClose | 0x10, 5, 0}}, {0},
       [](EventManager* m) { EXPECT_EQ(m->events[0].category, kTraceClose | kTraceStart | 0x10u); }},
      {"an end mark is never reopened", 8, 0xFFFFFFFF, {{kTraceEnd | 0x10, 5, 0}, {kTraceClose | 0x10, 6, 1}}, {0, 1},
       [](EventManager* m) { EXPECT_EQ(m->events[0].endTime, 5u); }},
      {"zero capacity holds one event", 0, 0xFFFFFFFF, {{0, 1, 0}, {0, 2, 1}}, {1},
       [](EventManager* m) { EXPECT_EQ(m->capacity, 1u); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EventManager* m = EventManager_Create(c.capacity, "table");
    ASSERT_NE(m, nullptr);
    EventManager_SetMask(m, 0xFFFFFFFF, 0);
    EventManager_SetMask(m, c.mask, 1);
    for (const Step& s : c.steps) {
      g_now = s.time;
      EXPECT_EQ(EventManager_Add(m, s.category, "step %llu", static_cast<unsigned long long>(s.time)), s.expectedId);
    }
    EXPECT_EQ(RingIds(m), c.ringIds);
    c.check(m);
    EventManager_Destroy(m);
  }
}

TEST_F(TraceEvents, AddCyclesAccumulatesIntoTheOpenEvent) {
  EventManager* m = EventManager_Create(8, "cycles");
  ASSERT_NE(m, nullptr);
  EventManager_Add(m, kTraceStart | 0x10, "open");
  uint64_t accumulated = 0;
  for (int i = 0; i < 2; ++i) {
    const uint64_t before = QVAGetCycles();
    while (QVAGetCycles() - before < 100000) {
    }
    EXPECT_EQ(EventManager_Add(m, kTraceAddCycles | 0x10, nullptr), 0u);
    EXPECT_GT(m->events[0].accumulatedCycles, accumulated);
    accumulated = m->events[0].accumulatedCycles;
  }
  EXPECT_EQ(m->count, 1u);
  EventManager_Destroy(m);
}

TEST_F(TraceEvents, ManagerBasicsAndTheCurrentOne) {
  EventManager* m = EventManager_Create(4, "a name longer than fifteen");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(EventManager_GetCurrent(), m);
  EXPECT_STREQ(m->name, "a name longer t");
  EXPECT_STREQ(EventManager_GetName(m), "a name longer t");
  EXPECT_EQ(m->mask, 0xFFFFFFFFu);
  EXPECT_EQ(m->mark, 0xFFFFFFFFu);
  int owner = 0;
  EventManager_SetOwner(m, &owner);
  EXPECT_EQ(EventManager_GetOwner(m), &owner);
  EXPECT_EQ(EventManager_GetOwner(nullptr), nullptr);
  g_now = 7;
  EXPECT_EQ(EventManager_Add(nullptr, 0, "to the current %d", 1), 0u);  // the current manager's first id
  EXPECT_STREQ(m->events[0].text, "to the current 1");
  EventManager_Add(nullptr, 0, "%s", std::string(80, 'x').c_str());
  EXPECT_EQ(std::string(m->events[1].text), std::string(47, 'x'));
  EventManager_Reset(m, 1);
  EXPECT_EQ(m->count, 0u);
  EXPECT_EQ(EventManager_Add(m, 0, nullptr), 2u);  // ids go on after a reset
  EXPECT_EQ(m->events[0].text[0], '\0');
  EventManager_Destroy(nullptr);  // the current one
  EXPECT_EQ(EventManager_GetCurrent(), nullptr);
  EXPECT_EQ(EventManager_Add(nullptr, 0, "nowhere"), 0u);
  char copy[8];
  EXPECT_EQ(QVAStrCpy(copy, "abc"), copy);
  EXPECT_STREQ(copy, "abc");
}

TEST_F(TraceEvents, SummaryAndCategoryStatistics) {
  EventManager* m = EventManager_Create(4, "stats");
  ASSERT_NE(m, nullptr);
  EventStats stats{};
  EventManager_GetSummary(m, &stats);
  EXPECT_EQ(stats.eventCount, 0u);
  const Step steps[] = {{kTraceStart | 2, 100, 0}, {4, 110, 1}, {kTraceEnd | 2, 130, 2}, {1, 150, 3}, {1, 170, 4}};
  for (const Step& s : steps) {
    g_now = s.time;
    EventManager_Add(m, s.category, nullptr);
  }
  EventManager_GetSummary(m, &stats);  // wrapped: ids 1 to 4 survive
  EXPECT_EQ(stats.eventCount, 4u);
  EXPECT_EQ(stats.firstTime, 110u);
  EXPECT_EQ(stats.lastTime, 170u);
  EXPECT_EQ(stats.timeSpan, 60u);

  EventManager_Reset(m, 1);
  for (const Step& s : steps) {
    if (s.time > 130) break;
    g_now = s.time;
    EventManager_Add(m, s.category, nullptr);
  }
  EventManager_GetCategoryStats(m, 2, 0, &stats);
  EXPECT_EQ(stats.eventCount, 2u);
  EXPECT_EQ(stats.pairedDuration, 30u);
  EXPECT_EQ(stats.timeSpan, 30u);
  EXPECT_EQ(stats.firstTime, 100u);
  EXPECT_EQ(stats.lastTime, 130u);
  EventManager_GetCategoryStats(m, 0xFFFFFFFF, 2, &stats);  // the last two events
  EXPECT_EQ(stats.eventCount, 2u);
  EXPECT_EQ(stats.firstTime, 110u);
  EventManager_Destroy(m);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(TraceEvents, CsvDumpReadsBackWithAnOrigin) {
  EventManager* m = EventManager_Create(8, "csv");
  ASSERT_NE(m, nullptr);
  g_now = 1000;
  EventManager_Add(m, kTraceStart | 2, "begin %d", 1);
  g_now = 1040;
  EventManager_Add(m, kTraceEnd | 2, "done, quoted");
  const std::string path = orx::test::MakeTempDir("trace") + "/dump.csv";
  QVAHandle file = QVAOpenFileWrite(path.c_str(), 1);
  ASSERT_NE(file, nullptr);
  EventManagerDump(m, file, 0xFFFFFFFF, 0, 0, -1000, kEventDumpCsv);
  QVACloseFile(file);
  EventManager_Destroy(m);

  const std::string raw = ReadFile(path);
  EXPECT_EQ(raw.rfind("ev_id,ev_time,ev_cycle,ev_cat,ev_lentime,ev_lencycles,ev_desc\r\n", 0), 0u);
  EXPECT_EQ(std::count(raw.begin(), raw.end(), '\n'), std::count(raw.begin(), raw.end(), '\r'));
  const std::string rows = orx::test::RunPython(
      "import csv,sys\n"
      "rows=list(csv.reader(open(sys.argv[1],newline='')))\n"
      "assert rows[0]==['ev_id','ev_time','ev_cycle','ev_cat','ev_lentime','ev_lencycles','ev_desc'], rows[0]\n"
      "for r in rows[1:]:\n"
      "  assert len(r)==7, r\n"
      "  print(r[0], r[1], r[3], r[4], r[6])\n",
      {path});
  EXPECT_EQ(rows, "0 0 start 0 begin 1\n1 40 end 40 done, quoted\n");
}

TEST_F(TraceEvents, TextDumpFollowsItsFormatAndMaskRules) {
  EventManager* m = EventManager_Create(16, "text");
  ASSERT_NE(m, nullptr);
  const Step steps[] = {{kTraceStart | 2, 100, 0}, {4, 110, 1}, {kTraceEnd | 2, 130, 2},
                        {2, 150, 3},               {kTraceEnd | 2, 170, 4}};
  for (const Step& s : steps) {
    g_now = s.time;
    EventManager_Add(m, s.category, "event at %llu", static_cast<unsigned long long>(s.time));
  }
  const std::string dir = orx::test::MakeTempDir("trace");
  // Regular expressions built from the dump's format strings; prints time and T of every line.
  const std::string check =
      "import re,sys\n"
      "text=open(sys.argv[1],'rb').read().decode()\n"
      "header=re.compile(r'EventManagerDump\\((.*)\\): EventCount=(-?\\d+) EventsMask=([0-9A-F]{8})\\r\\n')\n"
      "line=re.compile(r'  (\\d{8})([<>]): ID=( *-?\\d{1,}) T=( *-?\\d{1,}) C=(-?\\d{8,}) D=(\\d{7}) I=(\\d{7}) Desc=(.*?)\\r\\n')\n"
      "avg=re.compile(r'Averages: Count=(\\d+) Cycles=(-?\\d{8,})\\r\\n')\n"
      "m=header.match(text); assert m and m.group(1)=='text' and m.group(2)=='5', text\n"
      "pos=m.end(); lines=0\n"
      "while True:\n"
      "  m=line.match(text,pos)\n"
      "  if not m: break\n"
      "  print(m.group(1), m.group(4)); pos=m.end(); lines+=1\n"
      "m=avg.match(text,pos); assert m and int(m.group(1))==lines and m.end()==len(text), text[pos:]\n";
  const struct {
    uint32_t mask;
    const char* lines;  // start time and T of each printed event
  } cases[] = {
      {0xFFFFFFFF, "00000100   0\n00000110  10\n00000130  20\n00000150  20\n00000170  20\n"},
      // End marks of category 2 only, T measured from the previous category-2 event.
      {0x80000002, "00000130  30\n00000170  20\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "mask 0x" << std::hex << c.mask);
    const std::string path = dir + "/dump" + std::to_string(c.mask) + ".txt";
    QVAHandle file = QVAOpenFileWrite(path.c_str(), 1);
    ASSERT_NE(file, nullptr);
    EventManagerDump(m, file, c.mask, 0, 0, 0, 0);
    QVACloseFile(file);
    EXPECT_EQ(orx::test::RunPython(check, {path}), c.lines);
  }

  // To standard output when no file is given; the time grid in 10 ms steps.
  EventManager_Reset(m, 1);
  g_now = 103;
  EventManager_Add(m, 1, "first");
  g_now = 125;
  EventManager_Add(m, 1, "second");
  testing::internal::CaptureStdout();
  EventManagerDumpTimes(m, nullptr, 1, 0);
  std::string grid = testing::internal::GetCapturedStdout();
  // Blank out the cycle counts, which differ from run to run.
  for (size_t at = grid.find(" C="); at != std::string::npos; at = grid.find(" C=", at + 1)) {
    const size_t end = grid.find(' ', at + 3);
    grid.replace(at + 3, end - at - 3, "#");
  }
  EXPECT_EQ(grid,
            "EventManagerDump(text): EventCount=2 EventsMask=FFFFFFFF\n"
            "00000100:\n"
            "  00000103>: ID=  5 Ev=00000001 C=# D=0000000 I=0000000 Desc=first\r\n"
            "00000110:\n"
            "00000120:\n"
            "  00000125>: ID=  6 Ev=00000001 C=# D=0000000 I=0000000 Desc=second\r\n");
  EventManager_Destroy(m);
}

TEST(TraceEventsConcurrent, FourRecordersAndADumperShareOneRing) {
  constexpr uint32_t kPerThread = 10000;
  EventManager* m = EventManager_Create(4 * kPerThread, "shared");
  ASSERT_NE(m, nullptr);
  std::atomic<bool> recording{true};
  std::thread dumper([&] {
    QVAHandle sink = QVAOpenFileWrite("/dev/null", 1);
    while (recording.load()) {
      EventManagerDump(m, sink, 0xFFFFFFFF, 100, 0, 0, kEventDumpCsv);
      EventStats stats;
      EventManager_GetSummary(m, &stats);
    }
    QVACloseFile(sink);
  });
  std::vector<std::thread> recorders;
  for (int t = 0; t < 4; ++t) {
    recorders.emplace_back([m, t] {
      for (uint32_t i = 0; i < kPerThread; ++i) EventManager_Add(m, 1u << t, "thread %d event %u", t, i);
    });
  }
  for (auto& r : recorders) r.join();
  recording = false;
  dumper.join();
  std::vector<uint32_t> ids = RingIds(m);
  std::sort(ids.begin(), ids.end());
  ASSERT_EQ(ids.size(), 4 * kPerThread);
  for (uint32_t i = 0; i < ids.size(); ++i) ASSERT_EQ(ids[i], i);
  EventManager_Destroy(m);
}

}  // namespace
