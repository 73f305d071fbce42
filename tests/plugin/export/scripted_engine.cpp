#include "tests/plugin/export/scripted_engine.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "media/media_codes.h"
#include "vscaler/convert/bgra_to_i420.h"

namespace orx::plugin::test {
namespace {

constexpr uint32_t kEndFlags = QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI;

}  // namespace

std::vector<uint8_t> HostFrameToI420(uint32_t subtype, const uint8_t* data, int w, int h) {
  size_t luma = static_cast<size_t>(w) * h;
  std::vector<uint8_t> out(luma + 2 * (luma / 4));
  uint8_t* y = out.data();
  uint8_t* cb = y + luma;
  uint8_t* cr = cb + luma / 4;
  int cw = w / 2;
  switch (subtype) {
    case QVA_MSUBTYPE_YUV420:
      std::memcpy(out.data(), data, out.size());
      break;
    case QVA_MSUBTYPE_BGRA:
      convert::PreprocBgraToI420(out.data(), data, w, h, 1);
      break;
    case QVA_MSUBTYPE_YUV444I: {
      // V, U, Y, A; the last row in memory is the top of the picture.
      auto at = [&](int x, int row) {
        return data + (static_cast<size_t>(h - 1 - row) * w + x) * 4;
      };
      for (int row = 0; row < h; ++row) {
        for (int x = 0; x < w; ++x) y[static_cast<size_t>(row) * w + x] = at(x, row)[2];
      }
      for (int row = 0; row < h / 2; ++row) {
        for (int x = 0; x < cw; ++x) {
          int u = 0, v = 0;
          for (int dy = 0; dy < 2; ++dy) {
            for (int dx = 0; dx < 2; ++dx) {
              v += at(2 * x + dx, 2 * row + dy)[0];
              u += at(2 * x + dx, 2 * row + dy)[1];
            }
          }
          cb[static_cast<size_t>(row) * cw + x] = static_cast<uint8_t>(u / 4);
          cr[static_cast<size_t>(row) * cw + x] = static_cast<uint8_t>(v / 4);
        }
      }
      break;
    }
    case QVA_MSUBTYPE_YUV422I:
      for (int row = 0; row < h; ++row) {
        const uint8_t* line = data + static_cast<size_t>(row) * w * 2;
        for (int x = 0; x < w; ++x) y[static_cast<size_t>(row) * w + x] = line[2 * x];
      }
      for (int row = 0; row < h / 2; ++row) {
        const uint8_t* a = data + static_cast<size_t>(2 * row) * w * 2;
        const uint8_t* b = a + static_cast<size_t>(w) * 2;
        for (int x = 0; x < cw; ++x) {
          cb[static_cast<size_t>(row) * cw + x] =
              static_cast<uint8_t>((a[4 * x + 1] + b[4 * x + 1]) / 2);
          cr[static_cast<size_t>(row) * cw + x] =
              static_cast<uint8_t>((a[4 * x + 3] + b[4 * x + 3]) / 2);
        }
      }
      break;
    default:
      out.clear();
      break;
  }
  return out;
}

struct ScriptedCalls {
  static ScriptedEngine& E() { return ScriptedEngine::Instance(); }

  static QVAStatus Create(QVAHandle* engine) {
    ScriptedEngine& e = E();
    std::lock_guard<std::mutex> lock(e.mutex_);
    if (e.script_.create != 0) return e.script_.create;
    ++e.record_.creates;
    e.released_ = false;
    e.running_ = e.stop_ = e.videoEnded_ = e.audioEnded_ = e.sinkEnded_ = e.earlyEndSent_ = false;
    e.framesGivenBack_ = 0;
    e.videoSource_ = e.audioSource_ = false;
    e.inFlight_ = 0;
    e.releaseFn_ = nullptr;
    e.writeFn_ = nullptr;
    *engine = &e;
    return 0;
  }
  static QVAStatus SetConfig(QVAHandle, const QVATengineConfig* config) {
    std::lock_guard<std::mutex> lock(E().mutex_);
    E().config_ = *config;
    return E().script_.setConfig;
  }
  static QVAStatus OpenVideoSource(QVAHandle, const VideoMediaType* format,
                                   TengineReleaseFn release, void*) {
    std::lock_guard<std::mutex> lock(E().mutex_);
    E().record_.sourceSubtypes.push_back(format->subtype);
    if (E().videoSource_ && E().script_.reopenVideo != 0) return E().script_.reopenVideo;
    E().config_.sourceVideo = *format;
    E().releaseFn_ = release;
    E().videoSource_ = true;
    return E().script_.openVideo;
  }
  static QVAStatus OpenAudioSource(QVAHandle, const AudioMediaType*, TengineReleaseFn, void*) {
    std::lock_guard<std::mutex> lock(E().mutex_);
    E().audioSource_ = true;
    return E().script_.openAudio;
  }
  static QVAStatus OpenTarget(QVAHandle, const StreamMediaType* target, uint32_t,
                              TengineWriteFn write, void*, void*, uint32_t) {
    std::lock_guard<std::mutex> lock(E().mutex_);
    E().record_.targets.push_back(*target);
    E().target_ = *target;
    E().writeFn_ = write;
    if (E().script_.refusePcmTarget && target->MType == QVA_MTYPE_AUDIO &&
        target->subtype == QVA_MSUBTYPE_PCM) {
      return QVA_ERR_FORMAT;
    }
    return E().script_.openTarget;
  }
  static QVAStatus Control(QVAHandle, uint32_t, void*) { return 0; }
  static QVAStatus RunWord(QVAHandle, uint32_t) {
    ScriptedEngine& e = E();
    std::lock_guard<std::mutex> lock(e.mutex_);
    if (e.script_.run != 0) return e.script_.run;
    e.running_ = true;
    e.worker_ = std::thread([&e] { e.Worker(); });
    return 0;
  }
  static QVAStatus DeliverVideo(QVAHandle, ComponentBuffer* buffer, uint32_t, void* reference,
                                uint32_t timeoutMs) {
    ScriptedEngine& e = E();
    std::unique_lock<std::mutex> lock(e.mutex_);
    if (e.released_) {
      ++e.record_.deliveriesWhileReleased;
      return QVA_ERR_BADHANDLE;
    }
    if (!e.running_) return QVA_ERR_UNSUPPORTED;
    if (buffer->flags & kEndFlags) {
      e.videoEnded_ = true;
      ++e.record_.videoEndMarkers;
      e.changed_.notify_all();
      return 0;
    }
    int index = static_cast<int>(e.record_.frames.size());
    if (e.script_.stallFrom >= 0 && index >= e.script_.stallFrom) {
      lock.unlock();
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min<uint32_t>(timeoutMs, 50)));
      return QVA_ERR_TIMEOUT;
    }
    ScriptedFrame frame;
    frame.time = buffer->timestamp;
    frame.subtype = e.config_.sourceVideo.subtype;
    if (e.script_.keepFrames) {
      frame.i420 = HostFrameToI420(frame.subtype, buffer->data,
                                   static_cast<int>(e.config_.sourceVideo.secondWidth),
                                   static_cast<int>(e.config_.sourceVideo.secondHeight));
    }
    e.record_.frames.push_back(std::move(frame));
    ComponentBuffer copy = *buffer;
    e.taken_.emplace_back(copy, reference);
    ++e.inFlight_;
    e.record_.maxInFlight = std::max(e.record_.maxInFlight, e.inFlight_);
    e.changed_.notify_all();
    return 0;
  }
  static QVAStatus DeliverAudio(QVAHandle, ComponentBuffer* buffer, uint32_t, void*, uint32_t) {
    ScriptedEngine& e = E();
    std::unique_lock<std::mutex> lock(e.mutex_);
    if (!e.running_) return QVA_ERR_UNSUPPORTED;
    if (e.audioEnded_) {
      ++e.record_.audioAfterEnd;
      return QVA_ERR_ENDOFSTREAM;
    }
    if (buffer->flags & kEndFlags) {
      e.audioEnded_ = true;
      ++e.record_.audioEndMarkers;
      e.changed_.notify_all();
      return 0;
    }
    const int16_t* samples = reinterpret_cast<const int16_t*>(buffer->data);
    e.record_.audio.insert(e.record_.audio.end(), samples, samples + buffer->length / 2);
    TengineWriteFn write = e.writeFn_;
    lock.unlock();
    // The "stream" of an audio target is the PCM itself.
    ComponentBuffer piece = *buffer;
    piece.flags = 0;
    if (write != nullptr && e.target_.MType == QVA_MTYPE_AUDIO) write(&e, &piece, nullptr, nullptr);
    return 0;
  }
  static QVAStatus Flush(QVAHandle, uint32_t) { return 0; }
  static QVAStatus Wait(QVAHandle, uint32_t, uint32_t) {
    ScriptedEngine& e = E();
    std::lock_guard<std::mutex> lock(e.mutex_);
    return e.script_.wait;
  }
  static QVAStatus Release(QVAHandle) {
    ScriptedEngine& e = E();
    {
      std::lock_guard<std::mutex> lock(e.mutex_);
      e.stop_ = true;
      e.changed_.notify_all();
    }
    if (e.worker_.joinable()) e.worker_.join();
    std::lock_guard<std::mutex> lock(e.mutex_);
    e.released_ = true;
    e.running_ = false;
    ++e.record_.releases;
    return 0;
  }

  static constexpr TengineCalls kTable{
      &Create,  &SetConfig,    &OpenVideoSource, &OpenAudioSource, &OpenTarget, &Control,
      &RunWord, &DeliverVideo, &DeliverAudio,    &Flush,           &Wait,       &Release};
};

ScriptedEngine& ScriptedEngine::Instance() {
  static ScriptedEngine engine;
  return engine;
}

void ScriptedEngine::Install(const EngineScript& script) {
  std::lock_guard<std::mutex> lock(mutex_);
  script_ = script;
  record_ = EngineRecord{};
  SetTengineCallsForTest(&ScriptedCalls::kTable);
}

void ScriptedEngine::Uninstall() {
  ScriptedCalls::Release(this);
  SetTengineCallsForTest(nullptr);
}

EngineRecord ScriptedEngine::Record() {
  std::lock_guard<std::mutex> lock(mutex_);
  return record_;
}

// Gives every taken frame back and writes one 16-byte record for it: time, subtype, length.
void ScriptedEngine::Worker() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    auto ended = [this] {
      return !sinkEnded_ && (videoEnded_ || !videoSource_) && (audioEnded_ || !audioSource_);
    };
    changed_.wait(lock, [&] { return stop_ || !taken_.empty() || ended(); });
    if (!taken_.empty()) {
      auto [buffer, reference] = taken_.front();
      taken_.pop_front();
      TengineReleaseFn release = releaseFn_;
      TengineWriteFn write = writeFn_;
      bool notice = script_.releaseWithoutHandle;
      lock.unlock();
      if (notice && release != nullptr) release(this, &buffer, nullptr, nullptr);
      if (release != nullptr) release(this, &buffer, nullptr, reference);
      uint8_t record[16] = {};
      uint64_t time = buffer.timestamp;
      std::memcpy(record, &time, 8);
      std::memcpy(record + 12, &buffer.length, 4);
      ComponentBuffer piece{};
      piece.data = record;
      piece.length = piece.capacity = sizeof record;
      if (write != nullptr) write(this, &piece, nullptr, nullptr);
      lock.lock();
      --inFlight_;
      if (++framesGivenBack_ == script_.endOutputAfter && !earlyEndSent_) {
        earlyEndSent_ = true;
        lock.unlock();
        ComponentBuffer end{};
        end.flags = QVA_BUFFLAG_EOS;
        if (write != nullptr) write(this, &end, nullptr, nullptr);
        lock.lock();
      }
      continue;
    }
    if (ended() && inFlight_ == 0) {
      sinkEnded_ = true;
      TengineWriteFn write = writeFn_;
      const EngineScript script = script_;
      lock.unlock();
      for (int i = 0; i < script.tailWrites; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(script.tailWriteMs));
        uint8_t record[16] = {0xFF};
        ComponentBuffer piece{};
        piece.data = record;
        piece.length = piece.capacity = sizeof record;
        if (write != nullptr) write(this, &piece, nullptr, nullptr);
        std::lock_guard<std::mutex> relock(mutex_);
        ++record_.tailWritesDone;
      }
      if (script.neverEndOutput) {
        lock.lock();
        continue;
      }
      ComponentBuffer end{};
      end.flags = QVA_BUFFLAG_EOS;
      if (write != nullptr) write(this, &end, nullptr, nullptr);
      lock.lock();
      continue;
    }
    if (stop_) return;
  }
}

}  // namespace orx::plugin::test
