// The component graph with recording doubles: finding by alias, push and pull connections, the
// visiting order, removal, waiting for the leaves, printing, trace-event dumps and release.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/graph/component_graph.h"
#include "engine/catalogue/component_loader.h"
#include "framework/qva_component.h"
#include "platform/debug_output.h"
#include "tests/engine/catalogue/loader_test_support.h"
#include "tests/support/test_paths.h"

namespace orx::test {
namespace {

// What a double has and answers.
struct DoubleSetup {
  bool hasGetInputPin = true;
  QVAStatus getInputPinStatus = QVA_SUCCESS;
  bool hasConnectInput = true;
  bool hasStart = true;
  uint32_t state = QVA_STATE_NONE;
  std::vector<EventManager*> managers;
};

// A setup changed by fn.
template <class Fn>
DoubleSetup Configured(Fn fn) {
  DoubleSetup setup;
  fn(setup);
  return setup;
}

std::vector<std::string> g_calls;
std::map<const ComponentInstance*, DoubleSetup> g_setups;

std::string Name(const void* instance) {
  return instance != nullptr ? static_cast<const ComponentInstance*>(instance)->shortName : "null";
}

void Record(const std::string& call) { g_calls.push_back(call); }

QVAStatus DummyGet(void*, ComponentBuffer**) { return QVA_SUCCESS; }
QVAStatus DummyDeliver(void*, ComponentBuffer*) { return QVA_SUCCESS; }

QVAStatus GetInputPin(ComponentInstance* c, uint32_t pin, QVAGetEmptyBufferFn* get, QVADeliverBufferFn* deliver) {
  Record("GetInputPin " + Name(c) + " " + std::to_string(pin) + (get == nullptr && deliver == nullptr ? " none" : ""));
  if (get != nullptr) *get = DummyGet;
  if (deliver != nullptr) *deliver = DummyDeliver;
  return g_setups[c].getInputPinStatus;
}
QVAStatus ConnectOutput(ComponentInstance* c, uint32_t pin, QVAGetEmptyBufferFn get, QVADeliverBufferFn, void* context) {
  Record("ConnectOutput " + Name(c) + " " + std::to_string(pin) + " " + (get != nullptr ? Name(context) : "none"));
  return QVA_SUCCESS;
}
QVAStatus ConnectInput(ComponentInstance* c, ComponentInstance* up, uintptr_t, uint32_t pin, uintptr_t) {
  Record("ConnectInput " + Name(c) + " " + Name(up) + " " + std::to_string(pin));
  return QVA_SUCCESS;
}
QVAStatus Start(ComponentInstance* c) {
  Record("Start " + Name(c));
  return QVA_SUCCESS;
}
QVAStatus End(ComponentInstance* c) {
  Record("End " + Name(c));
  return QVA_SUCCESS;
}
QVAStatus SendCommand(ComponentInstance* c, uint32_t command, uintptr_t p1, uintptr_t p2, uintptr_t, uintptr_t,
                      uint32_t timeout) {
  std::ostringstream call;
  call << "Command " << Name(c) << " 0x" << std::hex << command << " 0x" << p1 << " " << p2 << " " << timeout;
  Record(call.str());
  return command == CMD_STOP && Name(c) == "AENC" ? QVA_ERR_WRONGSTATE : QVA_SUCCESS;
}
QVAStatus SetParam(ComponentInstance* c, uint32_t id, void*, uint32_t size) {
  Record("SetParam " + Name(c) + " " + std::to_string(id) + " " + std::to_string(size));
  return QVA_SUCCESS;
}
QVAStatus GetParam(ComponentInstance* c, uint32_t id, void* data, uint32_t size) {
  if (id != QVA_PARAM_LOG || size < sizeof(LogSetup)) return QVA_ERR_UNSUPPORTED;
  auto* setup = static_cast<LogSetup*>(data);
  const std::vector<EventManager*>& managers = g_setups[c].managers;
  setup->managerCount = static_cast<uint32_t>(managers.size());
  for (size_t k = 0; k < managers.size(); ++k) setup->managers[k] = managers[k];
  return QVA_SUCCESS;
}
QVAStatus GetState(ComponentInstance* c, uint32_t* state) {
  *state = g_setups[c].state;
  return QVA_SUCCESS;
}

class Doubles {
 public:
  ComponentInstance* Make(const char* shortName, DoubleSetup setup = {}) {
    auto instance = std::make_unique<ComponentInstance>();
    instance->interfaceVersion = QVA_INTERFACE_VERSION;
    instance->typesVersion = QVA_TYPES_VERSION;
    instance->compVersion = 2;
    instance->compBuild = 0x1B;
    std::strncpy(instance->shortName, shortName, sizeof instance->shortName - 1);
    QVACompMethods& m = instance->methods;
    m.QVAComp_GetInputPin = setup.hasGetInputPin ? GetInputPin : nullptr;
    m.QVAComp_ConnectOutput = ConnectOutput;
    m.QVAComp_ConnectInput = setup.hasConnectInput ? ConnectInput : nullptr;
    m.QVAComp_Start = setup.hasStart ? Start : nullptr;
    m.QVAComp_End = End;
    m.QVAComp_SendCommand = SendCommand;
    m.QVAComp_SetParam = SetParam;
    m.QVAComp_GetParam = GetParam;
    m.QVAComp_GetState = GetState;
    g_setups[instance.get()] = std::move(setup);
    owned_.push_back(std::move(instance));
    return owned_.back().get();
  }

 private:
  std::vector<std::unique_ptr<ComponentInstance>> owned_;
};

class ComponentGraph : public LoaderTest {
 protected:
  void SetUp() override {
    LoaderTest::SetUp();
    g_calls.clear();
    g_setups.clear();
    ASSERT_EQ(QVAgraph_Create(&graph_), 0u);
  }
  void TearDown() override {
    if (graph_ != nullptr) {
      EXPECT_EQ(QVAgraph_Release(graph_, 0), 0u);
    }
    LoaderTest::TearDown();
  }
  // encoder -> mux pin 0, audio encoder -> mux pin 1, as the transcode engine builds it.
  void BuildTwoRoots() {
    enc_ = doubles_.Make("VENC");
    mux_ = doubles_.Make("CMUX");
    aenc_ = doubles_.Make("AENC");
    ASSERT_EQ(QVAgraph_AddComp(graph_, enc_, "vtarget"), 0u);
    ASSERT_EQ(QVAgraph_AddComp(graph_, mux_, "mux"), 0u);
    ASSERT_EQ(QVAgraph_AddComp(graph_, aenc_, "atarget"), 0u);
    ASSERT_EQ(QVAgraph_ConnectPins(graph_, enc_, 0, mux_, 0, nullptr), 0u);
    ASSERT_EQ(QVAgraph_ConnectPins(graph_, aenc_, 0, mux_, 1, nullptr), 0u);
    g_calls.clear();
  }
  QVAHandle graph_ = nullptr;
  Doubles doubles_;
  ComponentInstance* enc_ = nullptr;
  ComponentInstance* mux_ = nullptr;
  ComponentInstance* aenc_ = nullptr;
};

using Calls = std::vector<std::string>;

TEST_F(ComponentGraph, FindCompByAliasWithoutCaseAndPinSuffix) {
  ComponentInstance* aenc = doubles_.Make("AENC");
  ComponentInstance* venc = doubles_.Make("VENC");
  ASSERT_EQ(QVAgraph_AddComp(graph_, venc, "vtarget"), 0u);
  ASSERT_EQ(QVAgraph_AddComp(graph_, aenc, "atarget[1]"), 0u);
  ASSERT_EQ(QVAgraph_AddComp(graph_, venc, "encoder"), 0u);  // a second alias, same node
  EXPECT_EQ(graph_CountComps(graph_), 2u);

  struct Case {
    const char* name;
    ComponentInstance* component;
    uint32_t pin;
  };
  const Case cases[] = {
      {"atarget", aenc, 1}, {"ATARGET", aenc, 1}, {"vtarget", venc, 99},
      {"Encoder", venc, 99}, {"atarget[1]", nullptr, 99}, {"mux", nullptr, 99},
  };
  for (const Case& c : cases) {
    ComponentInstance* found = enc_;
    uint32_t pin = 99;
    EXPECT_EQ(QVAgraph_FindComp(graph_, &found, c.name, &pin), 0u) << c.name;
    EXPECT_EQ(found, c.component) << c.name;
    EXPECT_EQ(pin, c.pin) << c.name;
  }
  // Four aliases at most: a fifth is dropped.
  for (const char* alias : {"a3", "a4", "a5"}) {
    QVAgraph_AddComp(graph_, venc, alias);
  }
  ComponentInstance* found = nullptr;
  QVAgraph_FindComp(graph_, &found, "a4", nullptr);
  EXPECT_EQ(found, venc);
  QVAgraph_FindComp(graph_, &found, "a5", nullptr);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(QVAgraph_FindComp(graph_, nullptr, "a4", nullptr), 3u);
}

TEST_F(ComponentGraph, ConnectsByPushElsePull) {
  struct Case {
    const char* name;
    DoubleSetup downstream;
    QVAStatus status = QVA_SUCCESS;
    uint32_t pull;  // 1 when the link is pulled
    Calls calls;
  };
  const Case cases[] = {
      {.name = "the downstream pin lends its entry points: a push",
       .downstream = {},
       .pull = 0,
       .calls = {"GetInputPin DOWN 1", "ConnectOutput UP 0 DOWN"}},
      {.name = "no GetInputPin: a pull",
       .downstream = Configured([](DoubleSetup& s) { s.hasGetInputPin = false; }),
       .pull = 1,
       .calls = {"ConnectInput DOWN UP 1"}},
      {.name = "GetInputPin refuses the pin: a pull",
       .downstream = Configured([](DoubleSetup& s) { s.getInputPinStatus = QVA_ERR_BADPIN; }),
       .pull = 1,
       .calls = {"GetInputPin DOWN 1", "ConnectInput DOWN UP 1"}},
      {.name = "neither way: refused",
       .downstream = Configured([](DoubleSetup& s) { s.hasGetInputPin = s.hasConnectInput = false; }),
       .status = QVA_ERR_UNSUPPORTED,
       .pull = 0,
       .calls = {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ComponentInstance* up = doubles_.Make("UP");
    ComponentInstance* down = doubles_.Make("DOWN", c.downstream);
    QVAgraph_AddComp(graph_, up, "up");
    QVAgraph_AddComp(graph_, down, "down");
    g_calls.clear();
    uint32_t pull = 7;
    EXPECT_EQ(QVAgraph_ConnectPins(graph_, up, 0, down, 1, &pull), c.status);
    EXPECT_EQ(pull, c.pull);
    EXPECT_EQ(g_calls, c.calls);
    // The link is recorded whatever the status: removing the node disconnects it.
    g_calls.clear();
    QVAgraph_RemoveComp(graph_, up);  // answers the last disconnect's status
    EXPECT_EQ(g_calls.at(0), "ConnectOutput UP 0 none");
    QVAgraph_RemoveComp(graph_, down);
  }
  EXPECT_EQ(QVAgraph_ConnectPins(graph_, nullptr, 0, enc_, 0, nullptr), 28u);
}

TEST_F(ComponentGraph, FifthLinkIsRefused) {
  ComponentInstance* source = doubles_.Make("SRC");
  QVAgraph_AddComp(graph_, source, "src");
  for (uint32_t pin = 0; pin < 4; ++pin) {
    ComponentInstance* sink = doubles_.Make("SINK");
    QVAgraph_AddComp(graph_, sink, nullptr);
    ASSERT_EQ(QVAgraph_ConnectPins(graph_, source, pin, sink, 0, nullptr), 0u);
  }
  ComponentInstance* fifth = doubles_.Make("FIFTH");
  QVAgraph_AddComp(graph_, fifth, nullptr);
  g_calls.clear();
  EXPECT_EQ(QVAgraph_ConnectPins(graph_, source, 4, fifth, 0, nullptr), 20u);
  EXPECT_TRUE(g_calls.empty());
}

TEST_F(ComponentGraph, VisitingOrderIsPostOrderFromEachRoot) {
  BuildTwoRoots();
  struct Case {
    uint32_t command;
    Calls calls;
  };
  const Case cases[] = {
      {CMD_PLAY,
       {"Command CMUX 0x1 0x40000000 5 0", "Command VENC 0x1 0x40000000 5 0", "Command CMUX 0x1 0x40000000 5 0",
        "Command AENC 0x1 0x40000000 5 0"}},
      {QVA_GRAPH_CMD_START, {"Start CMUX", "Start VENC", "Start CMUX", "Start AENC"}},
      {QVA_GRAPH_CMD_END, {"End CMUX", "End VENC", "End CMUX", "End AENC"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "command 0x" << std::hex << c.command);
    g_calls.clear();
    EXPECT_EQ(QVAgraph_SendCommand(graph_, c.command, 0x40000000, 5, 9, 9, 9), 0u);
    EXPECT_EQ(g_calls, c.calls);
  }
  // The status of the last component visited.
  EXPECT_EQ(QVAgraph_SendCommand(graph_, CMD_STOP, 0, 0), 24u);
  g_calls.clear();
  uint8_t block[212] = {};
  EXPECT_EQ(QVAgraph_SetParam(graph_, 0x50005, block, sizeof block), 0u);
  EXPECT_EQ(g_calls, (Calls{"SetParam CMUX 327685 212", "SetParam VENC 327685 212", "SetParam CMUX 327685 212",
                            "SetParam AENC 327685 212"}));

  // One root: the multiplexer alone below it; a missing start method answers 2.
  QVAHandle single = nullptr;
  ASSERT_EQ(QVAgraph_Create(&single), 0u);
  ComponentInstance* scaler = doubles_.Make("VSCALER", Configured([](DoubleSetup& s) { s.hasStart = false; }));
  QVAgraph_AddComp(single, scaler, "scaler");
  QVAgraph_AddComp(single, enc_, "vtarget");
  QVAgraph_ConnectPins(single, scaler, 0, enc_, 0, nullptr);
  g_calls.clear();
  EXPECT_EQ(QVAgraph_SendCommand(single, QVA_GRAPH_CMD_START, 0, 0), 2u);
  EXPECT_EQ(g_calls, (Calls{"Start VENC"}));
  EXPECT_EQ(QVAgraph_Release(single, 0), 0u);
}

TEST_F(ComponentGraph, RemovingANodeDisconnectsItsLinks) {
  BuildTwoRoots();
  EXPECT_EQ(QVAgraph_RemoveComp(graph_, mux_), 0u);
  EXPECT_EQ(g_calls, (Calls{"ConnectOutput VENC 0 none", "ConnectOutput AENC 0 none"}));
  g_calls.clear();
  QVAgraph_SendCommand(graph_, CMD_PAUSE, 0, 0);  // both encoders are leaves now
  EXPECT_EQ(g_calls, (Calls{"Command VENC 0x2 0x0 0 0", "Command AENC 0x2 0x0 0 0"}));
  EXPECT_EQ(QVAgraph_RemoveComp(graph_, mux_), 7u);

  // A node with a downstream peer: its output is disconnected and the peer's input cleared.
  QVAgraph_AddComp(graph_, mux_, "mux");
  QVAgraph_ConnectPins(graph_, enc_, 0, mux_, 0, nullptr);
  QVAgraph_ConnectPins(graph_, aenc_, 0, mux_, 1, nullptr);
  g_calls.clear();
  EXPECT_EQ(QVAgraph_RemoveComp(graph_, enc_), 0u);
  EXPECT_EQ(g_calls, (Calls{"ConnectOutput VENC 0 none", "GetInputPin CMUX 0 none"}));
  // A new connection takes the freed place, so pin 0 is disconnected as pin 0 again.
  ComponentInstance* other = doubles_.Make("VENC2");
  QVAgraph_AddComp(graph_, other, "vtarget");
  QVAgraph_ConnectPins(graph_, other, 0, mux_, 0, nullptr);
  g_calls.clear();
  EXPECT_EQ(QVAgraph_RemoveComp(graph_, other), 0u);
  EXPECT_EQ(g_calls, (Calls{"ConnectOutput VENC2 0 none", "GetInputPin CMUX 0 none"}));
}

TEST_F(ComponentGraph, WaitForStateWatchesTheLeavesOfTheFirstNode) {
  EXPECT_EQ(QVAgraph_WaitForState(graph_, QVA_STATE_PLAYING, 0), 26u);  // no node, no leaf
  BuildTwoRoots();
  g_setups[mux_].state = QVA_STATE_PLAYING;
  EXPECT_EQ(QVAgraph_WaitForState(graph_, QVA_STATE_PLAYING | QVA_STATE_PAUSED, QVA_INFINITE), 0u);
  EXPECT_EQ(QVAgraph_WaitForState(graph_, QVA_STATE_STOPPED, 250), 26u);
  uint32_t states = 0;
  EXPECT_EQ(graph_GetRenderersState(graph_, &states), 0u);
  EXPECT_EQ(states, QVA_STATE_PLAYING);
  EXPECT_EQ(graph_GetRenderersState(graph_, nullptr), 28u);

  // The multiplexer first: only it is watched, whatever the encoders do.
  QVAHandle muxFirst = nullptr;
  ASSERT_EQ(QVAgraph_Create(&muxFirst), 0u);
  QVAgraph_AddComp(muxFirst, mux_, "mux");
  QVAgraph_AddComp(muxFirst, enc_, "vtarget");
  QVAgraph_ConnectPins(muxFirst, enc_, 0, mux_, 0, nullptr);
  g_setups[enc_].state = QVA_STATE_STOPPED;
  EXPECT_EQ(QVAgraph_WaitForState(muxFirst, QVA_STATE_STOPPED, 0), 26u);
  g_setups[mux_].state = QVA_STATE_STOPPED;
  EXPECT_EQ(QVAgraph_WaitForState(muxFirst, QVA_STATE_STOPPED, 0), 0u);
  EXPECT_EQ(QVAgraph_Release(muxFirst, 0), 0u);

  // A first node whose every path runs in a circle has no leaf.
  QVAHandle circle = nullptr;
  ASSERT_EQ(QVAgraph_Create(&circle), 0u);
  ComponentInstance* a = doubles_.Make("A");
  ComponentInstance* b = doubles_.Make("B");
  QVAgraph_AddComp(circle, a, "a");
  QVAgraph_AddComp(circle, b, "b");
  QVAgraph_ConnectPins(circle, a, 0, b, 0, nullptr);
  QVAgraph_ConnectPins(circle, b, 0, a, 0, nullptr);
  EXPECT_EQ(QVAgraph_WaitForState(circle, 0xFFFFFFFF, QVA_INFINITE), 26u);
  EXPECT_EQ(QVAgraph_Release(circle, 0), 0u);
}

struct CapturedDebug {
  std::string text;
  static void Collect(void* context, std::string_view piece) { static_cast<CapturedDebug*>(context)->text += piece; }
};

TEST_F(ComponentGraph, PrintShowsEveryRootsTree) {
  const uint32_t verbosity = QVAGetVerbosity();
  QVASetVerbosity(QVA_TEXT_DEBUGGER);
  CapturedDebug captured;
  orx::platform::SetDebugCapture(CapturedDebug::Collect, &captured);
  EXPECT_EQ(QVAgraph_Print(graph_, "Target graph"), 28u);
  BuildTwoRoots();
  EXPECT_EQ(QVAgraph_Print(graph_, "Target graph\n"), 0u);
  orx::platform::SetDebugCapture(nullptr, nullptr);
  QVASetVerbosity(verbosity);
  EXPECT_EQ(captured.text,
            "Target graph\n"
            " empty\n"
            "Target graph\n"
            "  vtarget(VENC,ver:c2,b1B,t10001)\n"
            "    ->mux(CMUX,ver:c2,b1B,t10001)\n"
            "  atarget(AENC,ver:c2,b1B,t10001)\n"
            "    ->mux(CMUX,ver:c2,b1B,t10001)\n");
}

uint64_t g_now = 0;
uint64_t Now() { return g_now; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(ComponentGraph, TraceEventsGiveStatsAndDumpFiles) {
  QVASetTimeSource(Now);
  EventManager* encoderEvents = EventManager_Create(8, "venc");
  EventManager* encoderGpu = EventManager_Create(8, "gpu");
  EventManager* muxEvents = EventManager_Create(8, "mux");
  g_now = 5000;
  EventManager_Add(encoderEvents, 1, "frame %d", 1);
  g_now = 3000;
  EventManager_Add(muxEvents, 1, "pack %d", 1);
  g_now = 7000;
  EventManager_Add(encoderGpu, 1, "copy %d", 2);
  QVASetTimeSource(nullptr);

  ComponentInstance* enc = doubles_.Make("VENC", Configured([&](DoubleSetup& s) { s.managers = {encoderEvents, encoderGpu}; }));
  ComponentInstance* mux = doubles_.Make("CMUX", Configured([&](DoubleSetup& s) { s.managers = {muxEvents}; }));
  ComponentInstance* none = doubles_.Make("NONE");
  QVAgraph_AddComp(graph_, enc, "vtarget");
  QVAgraph_AddComp(graph_, mux, "mux");
  QVAgraph_AddComp(graph_, none, "none");
  QVAgraph_ConnectPins(graph_, enc, 0, mux, 0, nullptr);

  uint64_t firstTime = 0;
  uint64_t firstCycles = 0;
  EXPECT_EQ(QVAgraph_GetStats(graph_, &firstTime, &firstCycles), 0u);
  EXPECT_EQ(firstTime, 3000u);
  EventStats stats{};
  EventManager_GetSummary(encoderEvents, &stats);
  EXPECT_NE(firstCycles, 0u);
  EXPECT_LE(firstCycles, stats.firstCycles);

  const std::string folder = MakeTempDir("graph-dump");
  EXPECT_EQ(graph_DumpEvents(graph_, folder.c_str(), 1000, 0), 0u);
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) files.push_back(entry.path().filename());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"em_CMUX0.log", "em_VENC0.log", "em_VENC1.log"}));
  const std::string dump = ReadFile(folder + "/em_VENC1.log");
  EXPECT_EQ(dump.rfind("ev_id,ev_time,ev_cycle,ev_cat,ev_lentime,ev_lencycles,ev_desc\r\n", 0), 0u) << dump;
  EXPECT_NE(dump.find(",6000,"), std::string::npos) << dump;  // 7000 ms counted from 1000
  EXPECT_NE(dump.find("\"copy 2\""), std::string::npos) << dump;
  EXPECT_NE(ReadFile(folder + "/em_CMUX0.log").find(",2000,"), std::string::npos);

  for (EventManager* m : {encoderEvents, encoderGpu, muxEvents}) EventManager_Destroy(m);
}

// Built-in components that make doubles, so that a graph can unload what it holds.
std::vector<std::string> g_released;
int g_made = 0;
Doubles* g_factory = nullptr;
QVAStatus CreateDouble(const uint8_t*, ComponentInstance** out) {
  *out = g_factory->Make(("D" + std::to_string(g_made++)).c_str());
  return QVA_SUCCESS;
}
QVAStatus ReleaseDouble(ComponentInstance* instance) {
  g_released.push_back(Name(instance));
  return QVA_SUCCESS;
}

TEST_F(ComponentGraph, ReleaseUnloadsInTheOrderOfAdding) {
  g_factory = &doubles_;
  g_made = 0;
  g_released.clear();
  std::vector<ComponentInstance*> made;
  for (const char* name : {"enc", "mux", "aenc"}) {
    StaticCompRecord record{};
    std::strcpy(record.name, name);
    record.create = CreateDouble;
    record.release = ReleaseDouble;
    ASSERT_EQ(CompRegisterStatic(&record, 0), 0u);
    made.push_back(CompCreateByName(name, 0, 0));
    ASSERT_NE(made.back(), nullptr);
  }
  QVAgraph_AddComp(graph_, made[1], "mux");
  QVAgraph_AddComp(graph_, made[0], "vtarget");
  QVAgraph_AddComp(graph_, made[2], "atarget");
  QVAgraph_ConnectPins(graph_, made[0], 0, made[1], 0, nullptr);
  QVAgraph_ConnectPins(graph_, made[2], 0, made[1], 1, nullptr);
  g_calls.clear();
  EXPECT_EQ(QVAgraph_Release(graph_, 1), 0u);
  graph_ = nullptr;
  EXPECT_EQ(g_released, (std::vector<std::string>{"D1", "D0", "D2"}));
  EXPECT_EQ(g_calls, (Calls{"ConnectOutput D0 0 none", "ConnectOutput D2 0 none"}));
  EXPECT_EQ(CompGetActiveCount(), 0u);
}

TEST_F(ComponentGraph, HandlesOfAnotherTypeAreRefused) {
  QVAHandle other = QVAAllocHandle(0x80001, nullptr, 16);
  ComponentInstance* c = doubles_.Make("X");
  ComponentInstance* found = nullptr;
  uint32_t state = 0;
  EXPECT_EQ(QVAgraph_AddComp(other, c, "x"), 28u);
  EXPECT_EQ(QVAgraph_RemoveComp(other, c), 28u);
  EXPECT_EQ(QVAgraph_FindComp(other, &found, "x", nullptr), 28u);
  EXPECT_EQ(QVAgraph_ConnectPins(other, c, 0, c, 0, nullptr), 28u);
  EXPECT_EQ(QVAgraph_SendCommand(other, CMD_PLAY, 0, 0), 28u);
  EXPECT_EQ(QVAgraph_SetParam(other, 1, nullptr, 0), 28u);
  EXPECT_EQ(QVAgraph_GetStats(other, nullptr, nullptr), 28u);
  EXPECT_EQ(graph_DumpEvents(other, "", 0, 0), 28u);
  EXPECT_EQ(QVAgraph_WaitForState(other, 1, 0), 28u);
  EXPECT_EQ(QVAgraph_Print(other, nullptr), 28u);
  EXPECT_EQ(graph_GetRenderersState(other, &state), 28u);
  EXPECT_EQ(graph_CountComps(other), 0u);
  EXPECT_EQ(QVAgraph_Release(other, 1), 28u);
  EXPECT_EQ(QVAgraph_Create(nullptr), 3u);
  EXPECT_TRUE(g_calls.empty());
  QVAReleaseHandle(other);
}

}  // namespace
}  // namespace orx::test

namespace orx::test {
namespace {

using GraphWithComponents = LoaderTest;

// What an export does with its target graph, on two fixture components loaded from files: add,
// connect by push, start, play, wait for the leaf, end and release with unloading.
TEST_F(GraphWithComponents, MainRoadOnLoadedComponents) {
  const std::string encoderPath = Install(kFixtureLibrary, "libqvavenc.so");
  const std::string muxPath = Install(kFixtureLibrary, "qvacmux.so");
  ComponentInstance* encoder = CompCreateByName("qvavenc", 0, 0);
  ComponentInstance* mux = CompCreateByName("qvacmux", 0, 0);
  ASSERT_TRUE(encoder && mux);
  QVAHandle graph = nullptr;
  ASSERT_EQ(QVAgraph_Create(&graph), 0u);
  ASSERT_EQ(QVAgraph_AddComp(graph, mux, "mux"), 0u);
  ASSERT_EQ(QVAgraph_AddComp(graph, encoder, "vtarget"), 0u);
  uint32_t pull = 1;
  EXPECT_EQ(QVAgraph_ConnectPins(graph, encoder, 0, mux, 0, &pull), 0u);
  EXPECT_EQ(pull, 0u);
  ComponentInstance* found = nullptr;
  QVAgraph_FindComp(graph, &found, "VTARGET", nullptr);
  EXPECT_EQ(found, encoder);

  EXPECT_EQ(QVAgraph_SendCommand(graph, QVA_GRAPH_CMD_START, 0x40000000, 0), 0u);
  EXPECT_EQ(QVAgraph_SendCommand(graph, CMD_PLAY, 0x40000000, 0), 0u);
  EXPECT_EQ(QVAgraph_WaitForState(graph, QVA_STATE_STARTING | QVA_STATE_PLAYING, 5000), 0u);
  EXPECT_EQ(QVAgraph_SendCommand(graph, QVA_GRAPH_CMD_END, 0x40000000, 0), 0u);
  EXPECT_EQ(QVAgraph_Release(graph, 1), 0u);
  EXPECT_FALSE(IsLibraryMapped(encoderPath));
  EXPECT_FALSE(IsLibraryMapped(muxPath));
  EXPECT_EQ(CompGetActiveCount(), 0u);
}

}  // namespace
}  // namespace orx::test
