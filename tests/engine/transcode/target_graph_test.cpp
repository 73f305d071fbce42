// The target graph the transcode engine builds for each target stream type, on the mock encoder
// and the recording doubles.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "engine/graph/component_graph.h"
#include "engine/catalogue/component_loader.h"
#include "engine/graph/graph_walk.h"
#include "engine/transcode/tengine_record.h"
#include "media/media_codes.h"
#include "tests/engine/transcode/tengine_test_support.h"

namespace orx::test {
namespace {

std::string Name(const ComponentInstance* c) { return CompShortName(c); }

// "alias,alias[NAME] ..." for every node in order of adding, then " | UP>DOWN ..." for every link.
std::string DescribeTargetGraph(QVAHandle handle) {
  QVATengine* engine = TengineFromHandle(handle);
  const Graph* graph = GraphFromHandle(engine->targetGraph);
  std::string nodes;
  std::string links;
  for (const GraphNode* node = graph != nullptr ? graph->first : nullptr; node != nullptr; node = node->next) {
    if (!nodes.empty()) nodes += " ";
    std::string aliases;
    for (const char* alias : node->aliases) {
      if (alias[0] == '\0') continue;
      if (!aliases.empty()) aliases += ",";
      aliases += alias;
    }
    nodes += aliases + "[" + Name(node->component) + "]";
    for (uint32_t k = 0; k < node->outputCount; ++k) {
      if (node->outputs[k] != nullptr) links += " " + Name(node->component) + ">" + Name(node->outputs[k]->component);
    }
  }
  return nodes + " |" + links;
}

// The component whose output pin 0 is the engine's sink, or none.
std::string SinkOwner(QVAHandle handle) {
  QVATengine* engine = TengineFromHandle(handle);
  const Graph* graph = GraphFromHandle(engine->targetGraph);
  for (const GraphNode* node = graph != nullptr ? graph->first : nullptr; node != nullptr; node = node->next) {
    if (node->component->outputPin[0].deliver == tengine_DeliverOutput) return Name(node->component);
  }
  return "none";
}

struct GraphCase {
  const char* name;
  uint32_t majorType;
  uint32_t subtype;
  std::function<void(QVATengineConfig&)> adjust;
  QVAStatus result;
  const char* graph;
  const char* sink;
};

void NoChange(QVATengineConfig&) {}

class TargetGraph : public TengineTest {
 protected:
  // A new engine with the configuration set (nullptr when it cannot be created).
  static QVAHandle ConfiguredEngine(const QVATengineConfig& config) {
    QVAHandle engine = nullptr;
    if (QVATengine_Create(&engine) != QVA_SUCCESS) return nullptr;
    EXPECT_EQ(QVATengine_SetConfig(engine, &config), QVA_SUCCESS);
    return engine;
  }
};

TEST_F(TargetGraph, OneRowPerTarget) {
  const GraphCase cases[] = {
      {"program stream with MPEG audio", QVA_MTYPE_MPEG2_PS, 0, NoChange, QVA_SUCCESS,
       "mux[CMUX] atarget[AENC] vtarget[MULTIVENC] | AENC>CMUX MULTIVENC>CMUX", "CMUX"},
      {"program stream with PCM", QVA_MTYPE_MPEG2_PS, 0,
       [](QVATengineConfig& c) { c.targetAudio.subtype = QVA_MSUBTYPE_PCM; }, QVA_SUCCESS,
       "mux,atarget[1][CMUX] vtarget[MULTIVENC] | MULTIVENC>CMUX", "CMUX"},
      {"MP4 with PCM", QVA_MTYPE_MP4, 0, [](QVATengineConfig& c) { c.targetAudio.subtype = QVA_MSUBTYPE_PCM; },
       QVA_SUCCESS, "mux[CMUX] atarget[AENC] vtarget[MULTIVENC] | AENC>CMUX MULTIVENC>CMUX", "CMUX"},
      {"elementary video", QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2, NoChange, QVA_SUCCESS, "vtarget[MULTIVENC] |",
       "MULTIVENC"},
      {"elementary audio", QVA_MTYPE_AUDIO, QVA_MSUBTYPE_MPA2, NoChange, QVA_SUCCESS, "atarget[AENC] |", "AENC"},
      {"PCM file needs a writer the system lacks", QVA_MTYPE_AUDIO, QVA_MSUBTYPE_PCM, NoChange, QVA_ERR_FORMAT, " |",
       "none"},
      {"scaler for other widths", QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2,
       [](QVATengineConfig& c) { c.sourceVideo.width = c.sourceVideo.secondWidth = 1920; }, QVA_SUCCESS,
       "vtarget,vpreproc[VSCALER] vencoder[MULTIVENC] | VSCALER>MULTIVENC", "MULTIVENC"},
      {"scaler for other heights", QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2,
       [](QVATengineConfig& c) { c.sourceVideo.height = c.sourceVideo.secondHeight = 576; }, QVA_SUCCESS,
       "vtarget,vpreproc[VSCALER] vencoder[MULTIVENC] | VSCALER>MULTIVENC", "MULTIVENC"},
      {"library encoder without MULTIVENC", QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2,
       [](QVATengineConfig& c) {
         c.encoderParams.engineFlags = 0;
         c.encoderParams.optionFlags = 0;
       },
       QVA_SUCCESS, "vtarget[VENC] |", "VENC"},
      {"empty target refused", QVA_MTYPE_MPEG2_PS, 0,
       [](QVATengineConfig& c) { c.videoEnabled = c.audioEnabled = 0; }, QVA_ERR_FORMAT, "mux[CMUX] |", "CMUX"},
      {"empty target accepted with flag bit 2", QVA_MTYPE_MPEG2_PS, 0,
       [](QVATengineConfig& c) {
         c.videoEnabled = c.audioEnabled = 0;
         c.transcodeFlags = QVA_TFLAG_ACCEPT_EMPTY_TARGET;
       },
       QVA_SUCCESS, "mux[CMUX] |", "CMUX"},
  };
  for (const GraphCase& c : cases) {
    SCOPED_TRACE(c.name);
    QVATengineConfig config = MakeConfig(QVA_MSUBTYPE_BGRA, 720, 480, 720, 480);
    c.adjust(config);
    QVAHandle engine = ConfiguredEngine(config);
    ASSERT_NE(engine, nullptr);
    EngineSink sink;
    const StreamMediaType target = MakeTarget(c.majorType, c.subtype);
    EXPECT_EQ(QVATengine_OpenTarget(engine, &target, 0, SinkWrite, &sink, nullptr, 0), c.result);
    EXPECT_EQ(DescribeTargetGraph(engine), c.graph);
    EXPECT_EQ(SinkOwner(engine), c.sink);
    if (std::string(c.sink) != "none") {
      EXPECT_EQ(TengineFromHandle(engine)->lentCapacity, 16384u);
    }
    ASSERT_EQ(QVATengine_Release(engine), QVA_SUCCESS);
    EXPECT_FALSE(AnyFixtureMapped());
  }
}

TEST_F(TargetGraph, TheScalerGetsAWorkingFormatOfTheTargetSize) {
  QVATengineConfig config = MakeConfig(QVA_MSUBTYPE_BGRA, 1920, 1080, 720, 480);
  QVAHandle engine = ConfiguredEngine(config);
  ASSERT_NE(engine, nullptr);
  const StreamMediaType target = MakeTarget(QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2);
  ASSERT_EQ(QVATengine_OpenTarget(engine, &target, 0, nullptr, nullptr, nullptr, 0), QVA_SUCCESS);
  QVATengine* record = TengineFromHandle(engine);
  ComponentInstance* scaler = nullptr;
  ComponentInstance* encoder = nullptr;
  QVAgraph_FindComp(record->targetGraph, &scaler, "vpreproc", nullptr);
  QVAgraph_FindComp(record->targetGraph, &encoder, "vencoder", nullptr);
  ASSERT_NE(scaler, nullptr);
  ASSERT_EQ(tengine_ApplyVideoConfig(engine, scaler, 0, encoder), QVA_SUCCESS);
  EXPECT_EQ(record->workingVideo.subtype, QVA_MSUBTYPE_YUV420);
  EXPECT_EQ(record->workingVideo.secondWidth, 720u);
  EXPECT_EQ(record->workingVideo.secondHeight, 480u);
  const std::vector<std::string> scalerLines = DoubleLinesOf("vscaler");
  EXPECT_NE(std::find(scalerLines.begin(), scalerLines.end(), "SetFormat 1 0 0x40000/0x80002 720x480 720x480"),
            scalerLines.end());
  EXPECT_NE(std::find(scalerLines.begin(), scalerLines.end(), "Push 0 0x140004 156"), scalerLines.end());
  QVATengine_Release(engine);
  EXPECT_FALSE(AnyFixtureMapped());
}

TEST_F(TargetGraph, AFailedLinkUnloadsItsUpstreamComponent) {
  BehaviourOf("aenc").connectOutputFails = 1;
  QVATengineConfig config = MakeConfig(QVA_MSUBTYPE_BGRA, 720, 480, 720, 480);
  QVAHandle engine = ConfiguredEngine(config);
  ASSERT_NE(engine, nullptr);
  EngineSink sink;
  const StreamMediaType target = MakeTarget(QVA_MTYPE_MPEG2_PS, 0);
  EXPECT_EQ(QVATengine_OpenTarget(engine, &target, 0, SinkWrite, &sink, nullptr, 0), QVA_SUCCESS);
  EXPECT_EQ(DescribeTargetGraph(engine), "mux[CMUX] vtarget[MULTIVENC] | MULTIVENC>CMUX");
  EXPECT_FALSE(IsLibraryMapped(installed_[2]));  // libqvaaenc.so went with its instance
  QVATengine_Release(engine);
  EXPECT_FALSE(AnyFixtureMapped());
}

TEST_F(TargetGraph, ASinkThatCannotBeConnectedIsAnError) {
  // An audio encoder alone counts as a complete target, but here nothing would be written.
  BehaviourOf("aenc").connectOutputFails = 1;
  QVATengineConfig config = MakeConfig(QVA_MSUBTYPE_BGRA, 720, 480, 720, 480);
  QVAHandle engine = ConfiguredEngine(config);
  ASSERT_NE(engine, nullptr);
  EngineSink sink;
  const StreamMediaType target = MakeTarget(QVA_MTYPE_AUDIO, QVA_MSUBTYPE_MPA2);
  EXPECT_EQ(QVATengine_OpenTarget(engine, &target, 0, SinkWrite, &sink, nullptr, 0), QVA_ERR_CONNECT);
  // Without a sink asked for, the same graph is complete.
  QVATengine_Release(engine);
  engine = ConfiguredEngine(config);
  ASSERT_NE(engine, nullptr);
  EXPECT_EQ(QVATengine_OpenTarget(engine, &target, 0, nullptr, nullptr, nullptr, 0), QVA_SUCCESS);
  QVATengine_Release(engine);
  EXPECT_FALSE(AnyFixtureMapped());
}

TEST_F(TargetGraph, EngineHandlesAndConfiguration) {
  QVAHandle engine = nullptr;
  EXPECT_EQ(QVATengine_Create(nullptr), QVA_ERR_BADARG);
  ASSERT_EQ(QVATengine_Create(&engine), QVA_SUCCESS);
  QVATengineConfig defaults{};
  ASSERT_EQ(QVATengine_GetConfig(engine, &defaults), QVA_SUCCESS);
  EXPECT_EQ(defaults.videoEnabled, 1u);
  EXPECT_EQ(defaults.audioEnabled, 1u);
  EXPECT_EQ(defaults.scalingMode, 1u);
  EXPECT_STREQ(defaults.logFilePath, "\\adobepelkor.log");
  EXPECT_EQ(defaults.encoderParams.engineFlags, 0x800u);
  EXPECT_EQ(defaults.encoderParams.encoderCount, 1u);
  // The configuration loader reads files only for playback engines.
  EXPECT_EQ(QVAengine_LoadConfig(engine, "\\qvatengine.cfg"), QVA_ERR_BADHANDLE);
  // Applying formats needs a configuration.
  EXPECT_EQ(tengine_ApplyMuxConfig(engine, nullptr), QVA_ERR_CONFIG);
  QVAHandle graph = nullptr;
  QVAgraph_Create(&graph);
  EXPECT_EQ(QVATengine_Run(graph, 0), QVA_ERR_BADHANDLE);
  EXPECT_EQ(QVATengine_Release(graph), QVA_ERR_BADHANDLE);
  QVAgraph_Release(graph, 0);
  char name[64];
  tengine_MediaTypeName(QVA_MTYPE_MPEG2_PS, QVA_MSUBTYPE_MPA2, name, sizeof name);
  EXPECT_NE(std::string(name).find("/MPA2"), std::string::npos);
  tengine_MediaTypeName(0, 0, name, sizeof name);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(QVATengine_Release(engine), QVA_SUCCESS);
}

}  // namespace
}  // namespace orx::test
