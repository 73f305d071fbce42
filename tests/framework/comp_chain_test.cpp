// Three component libraries connected as the engine connects them, moving copied and lent
// buffers in two streams from a source through a pass-through to a sink whose output is pulled.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/framework/chain/chain_component.h"
#include "tests/framework/fingerprint.h"
#include "tests/support/component_library.h"
#include "tests/support/orx_test.h"

namespace orx::test {
namespace {

constexpr uint32_t kFormatSize = 156;

// Lent frames are freed by the release callback, so a read after an early release is caught.
struct LentFrames {
  std::mutex mutex;
  std::set<uint8_t*> outstanding;
  int released = 0;
  int releasedTwice = 0;
  int wrongHandle = 0;
  static void Release(ComponentInstance*, ComponentBuffer* buffer, uint32_t, void* self) {
    if (!(buffer->flags & QVA_BUFFLAG_INPLACE)) return;  // not a lent record
    auto* frames = static_cast<LentFrames*>(self);
    std::lock_guard<std::mutex> lock(frames->mutex);
    if (!(buffer->flags & QVA_BUFFLAG_REFHANDLE) || buffer->ReferenceHandle() != buffer->data) frames->wrongHandle++;
    if (frames->outstanding.erase(buffer->data) == 0) {
      frames->releasedTwice++;
      return;
    }
    frames->released++;
    delete[] buffer->data;
  }
};

struct EndNotices {
  std::atomic<int> eos{0};
  static void OnEvent(ComponentInstance*, uint32_t id, void* record, uint32_t, void* self) {
    if (id != PROGRESS_STATE) return;
    auto* state = static_cast<ProgressStateRecord*>(record);
    if (state->flags & QVA_PROGRESSFLAG_EOS) static_cast<EndNotices*>(self)->eos++;
  }
};

struct ChainConfig {
  bool lent;
  uint32_t passMode;
  bool passKeeps;
  bool pullIntoOwnRecord;
};

// What the sink's output showed for one stream.
struct StreamSeen {
  bool formatFirst = false;
  bool dataBeforeFormat = false;
  int formats = 0;
  int eosMarkers = 0;
  int eoiMarkers = 0;
  uint64_t fingerprint = 0;
  uint8_t format[kFormatSize] = {};
};

class Chain {
 public:
  explicit Chain(const ChainConfig& config) : config_(config) {
    const LibraryLoad load{.folder = LibraryFolder::kTestLibraries};
    libraries_[0] = std::make_unique<ComponentLibrary>("libframework_chain_source.so", load);
    libraries_[1] = std::make_unique<ComponentLibrary>("libframework_chain_pass.so", load);
    libraries_[2] = std::make_unique<ComponentLibrary>("libframework_chain_sink.so", load);
  }

  void Build() {
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(libraries_[i]->Loaded());
      ASSERT_EQ(libraries_[i]->create(nullptr, &components_[i]), QVA_SUCCESS);
      ComponentInstance* c = components_[i];
      ASSERT_EQ(c->methods.QVAComp_SetEventCallback(c, EndNotices::OnEvent, PROGRESS_STATE, &notices_[i]), QVA_SUCCESS);
    }
    ComponentInstance* pass = components_[1];
    pass->methods.QVAComp_SetParam(pass, kChainInputMode, reinterpret_cast<void*>(uintptr_t{config_.passMode}), 4);
    if (config_.passKeeps) pass->methods.QVAComp_SetParam(pass, kChainKeep, reinterpret_cast<void*>(1), 4);
    // Connection by push: the downstream pin's entry points go to the upstream output pin.
    for (int i = 0; i < 2; ++i) {
      ComponentInstance* up = components_[i];
      ComponentInstance* down = components_[i + 1];
      QVAGetEmptyBufferFn get = nullptr;
      QVADeliverBufferFn deliver = nullptr;
      ASSERT_EQ(down->methods.QVAComp_GetInputPin(down, 0, &get, &deliver), QVA_SUCCESS);
      ASSERT_EQ(up->methods.QVAComp_ConnectOutput(up, 0, get, deliver, down), QVA_SUCCESS);
    }
    // Downstream first.
    for (int i = 2; i >= 0; --i) {
      ComponentInstance* c = components_[i];
      ASSERT_EQ(c->methods.QVAComp_Start(c), QVA_SUCCESS);
      ASSERT_EQ(c->methods.QVAComp_SendCommand(c, CMD_PLAY, 1, 0, 0, 0, 0), QVA_SUCCESS);
    }
    ComponentInstance* source = components_[0];
    ASSERT_EQ(source->methods.QVAComp_SetPinCallback(source, 0, 0, LentFrames::Release, &frames_), QVA_SUCCESS);
  }

  void Push(ComponentBuffer& buffer) {
    ComponentInstance* source = components_[0];
    uint32_t taken = 0;
    EXPECT_EQ(source->methods.QVAComp_PushInput(source, 0, &buffer, QVA_INFINITE, &taken), QVA_SUCCESS);
    EXPECT_EQ(taken, buffer.length);
  }

  // Pushes one stream and answers the fingerprint of its data.
  uint64_t PushStream(int stream, int buffers, bool endOfInput, uint8_t* format) {
    std::mt19937 random(1000 + stream);
    for (uint32_t i = 0; i < kFormatSize; ++i) format[i] = static_cast<uint8_t>(random());
    std::memcpy(format, &kFormatSize, 4);
    ComponentBuffer record{};
    record.flags = QVA_FORMATRECORD_VIDEO;
    record.data = format;
    record.length = record.capacity = kFormatSize;
    Push(record);
    uint64_t fingerprint = 0;
    std::vector<uint8_t> copied(3 * kChainSlotSize);
    for (int i = 0; i < buffers; ++i) {
      const uint32_t size = 1 + random() % (3 * kChainSlotSize);
      uint8_t* data = config_.lent ? new uint8_t[size] : copied.data();
      for (uint32_t k = 0; k < size; ++k) data[k] = static_cast<uint8_t>(random());
      fingerprint = Fingerprint(fingerprint, data, size);
      ComponentBuffer b{};
      b.flags = QVA_BUFFLAG_EXTERNAL | QVA_BUFFLAG_TIMESTAMP;
      b.timestamp = 40ull * i;
      b.data = data;
      b.length = b.capacity = size;
      if (config_.lent) {
        b.flags |= QVA_BUFFLAG_INPLACE;
        b.SetReferenceHandle(data);
        std::lock_guard<std::mutex> lock(frames_.mutex);
        frames_.outstanding.insert(data);
      }
      Push(b);
    }
    ComponentBuffer end{};
    end.flags = endOfInput ? QVA_MARKER_EOI : QVA_MARKER_EOS;
    Push(end);
    return fingerprint;
  }

  // Pulls from the sink until the stream's end markers came out.
  StreamSeen PullStream(bool endOfInput) {
    StreamSeen seen;
    ComponentInstance* sink = components_[2];
    std::vector<uint8_t> own(4 * kChainSlotSize);
    ComponentBuffer caller{};
    for (int idle = 0; idle < 200;) {
      ComponentBuffer* record = nullptr;
      if (config_.pullIntoOwnRecord) {
        caller = ComponentBuffer{};
        caller.data = own.data();
        caller.capacity = static_cast<uint32_t>(own.size());
        record = &caller;
      }
      const QVAStatus status = sink->methods.QVAComp_PullOutput(sink, 0, &record, 50);
      if (status != QVA_SUCCESS) {
        EXPECT_TRUE(status == QVA_ERR_NOBUFFERS || status == QVA_ERR_TIMEOUT) << status;
        ++idle;
        continue;
      }
      idle = 0;
      const uint32_t flags = record->flags;
      if (flags & QVA_BUFFLAG_FORMAT) {
        seen.formatFirst = seen.formats == 0 && seen.fingerprint == 0;
        seen.formats++;
        std::memcpy(seen.format, record->data, std::min<uint32_t>(record->length, kFormatSize));
      } else if (flags & QVA_BUFFLAG_EOI) {
        seen.eoiMarkers++;
      } else if (flags & QVA_BUFFLAG_EOS) {
        seen.eosMarkers++;
        EXPECT_EQ(record->length, 0u);
      } else {
        if (seen.formats == 0) seen.dataBeforeFormat = true;
        seen.fingerprint = Fingerprint(seen.fingerprint, record->data, record->length);
      }
      if (!config_.pullIntoOwnRecord) {
        EXPECT_EQ(sink->methods.QVAComp_ReleaseBuffer(sink, 0, record), QVA_SUCCESS);
      }
      const bool done = endOfInput ? seen.eoiMarkers > 0 : seen.eosMarkers > 0;
      if (done) break;
    }
    return seen;
  }

  void Command(uint32_t command) {
    for (ComponentInstance* c : components_) {
      ASSERT_EQ(c->methods.QVAComp_SendCommand(c, command, 1, 0, 0, 0, QVA_INFINITE), QVA_SUCCESS);
    }
  }

  void NothingMoreAtTheSink() {
    ComponentInstance* sink = components_[2];
    ComponentBuffer* record = nullptr;
    EXPECT_EQ(sink->methods.QVAComp_PullOutput(sink, 0, &record, 200), QVA_ERR_NOBUFFERS);
  }

  void EndAndRelease() {
    for (int i = 2; i >= 0; --i) {
      ComponentInstance* c = components_[i];
      EXPECT_EQ(c->methods.QVAComp_End(c), QVA_SUCCESS);
      ChainReport report{};
      c->methods.QVAComp_GetParam(c, kChainReport, &report, sizeof report);
      EXPECT_EQ(report.foreignHookCalls, 0u);
      EXPECT_EQ(libraries_[i]->release(c), QVA_SUCCESS);
    }
  }

  LentFrames frames_;
  EndNotices notices_[3];
  ComponentInstance* components_[3] = {};

 private:
  ChainConfig config_;
  std::unique_ptr<ComponentLibrary> libraries_[3];
};

std::string Name(const ChainConfig& c) {
  return std::string(c.lent ? "lent" : "copied") + ", pass mode " + std::to_string(c.passMode) +
         (c.passKeeps ? " keeping" : "") + (c.pullIntoOwnRecord ? ", pulled into own record" : ", pulled records");
}

TEST(CompChain, TwoStreamsThroughThreeLibraries) {
  const int buffers = kOrxSanitizedBuild ? 150 : 1000;
  std::vector<ChainConfig> configs;
  for (bool lent : {false, true}) {
    for (int pass = 0; pass < 3; ++pass) {
      for (bool own : {false, true}) configs.push_back({lent, pass == 2 ? 3u : 1u, pass == 1, own});
    }
  }
  for (const ChainConfig& config : configs) {
    SCOPED_TRACE(Name(config));
    Chain chain(config);
    chain.Build();
    if (HasFatalFailure()) return;
    for (int stream = 0; stream < 2; ++stream) {
      const bool endOfInput = stream == 1;
      uint8_t format[kFormatSize];
      uint64_t sent = 0;
      // The sink's output is pulled while the source is fed, as the engine's sink does it.
      std::thread feeder([&] { sent = chain.PushStream(stream, buffers, endOfInput, format); });
      const StreamSeen seen = chain.PullStream(endOfInput);
      feeder.join();
      EXPECT_TRUE(seen.formatFirst) << "stream " << stream;
      EXPECT_FALSE(seen.dataBeforeFormat);
      EXPECT_EQ(seen.formats, 1);
      EXPECT_EQ(std::memcmp(seen.format, format, kFormatSize), 0);
      EXPECT_EQ(seen.fingerprint, sent) << "stream " << stream;
      EXPECT_EQ(seen.eosMarkers, 1) << "stream " << stream;
      EXPECT_EQ(seen.eoiMarkers, endOfInput ? 1 : 0) << "stream " << stream;
      if (stream == 0 && config.passMode == 1) {
        // A mode-1 chain restarts through STOP and PLAY (STOPPED to STARTING, end words cleared).
        chain.Command(CMD_STOP);
        for (ComponentInstance* c : chain.components_) {
          EXPECT_EQ(CompBase_GetStateWord(c), QVA_STATE_STOPPED);
        }
        chain.Command(CMD_PLAY);
        for (ComponentInstance* c : chain.components_) {
          EXPECT_EQ(CompBase_GetStateWord(c), QVA_STATE_STARTING);
          EXPECT_EQ(c->eosWord.load(), 0u);
        }
      }
    }
    chain.NothingMoreAtTheSink();
    for (const EndNotices& n : chain.notices_) {
      EXPECT_EQ(n.eos.load(), 2);
    }
    chain.EndAndRelease();
    EXPECT_TRUE(chain.frames_.outstanding.empty());
    EXPECT_EQ(chain.frames_.releasedTwice, 0);
    EXPECT_EQ(chain.frames_.wrongHandle, 0);
    EXPECT_EQ(chain.frames_.released, config.lent ? 2 * buffers : 0);
  }
}

}  // namespace
}  // namespace orx::test
