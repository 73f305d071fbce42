#include "host/sequence_render.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "host/host_frame.h"

namespace orx::host {
namespace {

using namespace host_sdk;

struct RenderJob {
  int64_t sequence;
  uint32_t requestId;
  int64_t time;
  uint32_t format;
  int width;
  int height;
};

struct FinishedFrame {
  RenderJob job;
  HostFrame* frame;
};

class VideoRenderer {
 public:
  explicit VideoRenderer(const RenderSettings& settings)
      : settings_(settings), random_(settings.seed) {
    int n = std::max(2, settings.threads);
    for (int i = 0; i < n; ++i) threads_.emplace_back([this] { Work(); });
  }

  ~VideoRenderer() { Shutdown(); }

  // Renders and completes every request still queued, then stops and joins the threads.
  void Shutdown() {
    if (threads_.empty()) return;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // Every request still queued is rendered and completed before the threads stop.
      idle_.wait(lock, [this] { return jobs_.empty() && rendering_ == 0; });
      stop_ = true;
      changed_.notify_all();
    }
    for (std::thread& t : threads_) t.join();
    threads_.clear();
    // Frames held back for ordering are completed now, in order.
    std::vector<FinishedFrame> rest;
    for (auto& [seq, f] : ready_) rest.push_back(f);
    ready_.clear();
    for (FinishedFrame& f : rest) Complete(f);
  }

  void SetCompletion(FrameCompletionFn callback, void* reference) {
    std::lock_guard<std::mutex> lock(mutex_);
    callback_ = callback;
    reference_ = reference;
  }

  int32_t Queue(int64_t time, uint32_t* requestId, const RenderParams* params) {
    int64_t index =
        settings_.ticksPerFrame > 0 ? (time - settings_.startTime) / settings_.ticksPerFrame : 0;
    uint32_t format = ChooseFormat(index, params);
    if (format == 0 || params->width <= 0 || params->height <= 0 || params->width > 16384 ||
        params->height > 16384) {
      return kSuiteErrorBadArgument;
    }
    RenderJob job{0, 0, time, format, params->width, params->height};
    bool final = time + settings_.ticksPerFrame > settings_.endTime;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      job.sequence = nextSequence_++;
      job.requestId = ++lastRequestId_;
      *requestId = job.requestId;
      NoteRequest(index, format);
      if (!(final && settings_.order == CompletionOrder::kEarlyFinal)) {
        jobs_.push_back(job);
        changed_.notify_one();
        return 0;
      }
    }
    // Early final: rendered and completed here, before the queue call returns.
    FinishedFrame f{job, Render(job)};
    {
      std::lock_guard<std::mutex> lock(mutex_);
      // Later in-order completions must not wait for it.
      skipped_.push_back(job.sequence);
    }
    Complete(f);
    DeliverReady();
    return 0;
  }

  RenderStatistics Statistics() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stats_;
  }

  // Into a record kept by the caller, whose list keeps its storage (once per frame request).
  void CopyStatistics(RenderStatistics& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    out = stats_;
  }

 private:
  uint32_t ChooseFormat(int64_t index, const RenderParams* params) const {
    uint32_t forced = 0;
    for (const auto& [from, format] : settings_.forcedFormats) {
      if (index >= from) forced = format;
    }
    if (forced != 0) return forced;
    return ChooseRenderFormat(params->pixelFormats, std::min(params->pixelFormatCount, 64));
  }

  // Called with the lock held.
  void NoteRequest(int64_t index, uint32_t format) {
    ++stats_.requests;
    stats_.highestFrame = std::max(stats_.highestFrame, index);
    if (std::find(stats_.formats.begin(), stats_.formats.end(), format) == stats_.formats.end()) {
      stats_.formats.push_back(format);
    }
    int outstanding = NoteFrameRequest();
    stats_.maxOutstanding = std::max(stats_.maxOutstanding, outstanding);
    if (outstanding > kMaxOutstandingFrames) stats_.overLimit = true;
  }

  HostFrame* Render(const RenderJob& job) {
    const FrameSource& source = *settings_.source;
    int64_t index = settings_.ticksPerFrame > 0
                        ? (job.time - settings_.startTime) / settings_.ticksPerFrame
                        : 0;
    HostFrame* frame = NewHostFrame();
    frame->pixelFormat = job.format;
    frame->time = job.time;
    bool sourceSize = job.width == source.width() && job.height == source.height();
    if (sourceSize && IsPlanar420(job.format) &&
        source.frameBytes() == PlanarFrameBytes(job.width, job.height)) {
      // The source's own layout: read straight into the frame, nothing to pack.
      frame->width = job.width;
      frame->height = job.height;
      frame->pixels.resize(HostFrameBytes(job.format, job.width, job.height));
      source.Read(index, frame->pixels.data());
      std::fill(frame->pixels.begin() + static_cast<std::ptrdiff_t>(source.frameBytes()),
                frame->pixels.end(), 0);
      return frame;
    }
    // One picture buffer per render thread, kept from frame to frame.
    thread_local std::vector<uint8_t> picture;
    picture.resize(source.frameBytes());
    source.Read(index, picture.data());
    if (sourceSize) {
      PackHostFrame(picture.data(), job.width, job.height, *frame);
    } else {
      thread_local std::vector<uint8_t> resized;
      resized.resize(PlanarFrameBytes(job.width, job.height));
      ResizeI420(picture.data(), source.width(), source.height(), resized.data(), job.width,
                 job.height);
      PackHostFrame(resized.data(), job.width, job.height, *frame);
    }
    return frame;
  }

  void Work() {
    for (;;) {
      RenderJob job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
        if (jobs_.empty()) return;
        job = jobs_.front();
        jobs_.pop_front();
        ++rendering_;
      }
      FinishedFrame f{job, Render(job)};
      {
        std::lock_guard<std::mutex> lock(mutex_);
        --rendering_;
        ready_[job.sequence] = f;
      }
      DeliverReady();
      std::lock_guard<std::mutex> lock(mutex_);
      if (jobs_.empty() && rendering_ == 0) idle_.notify_all();
    }
  }

  // Completes what the order allows. In order, one thread delivers at a time so that the
  // callbacks see the frames in sequence; shuffled, several threads may deliver at once.
  void DeliverReady() {
    std::unique_lock<std::mutex> order(orderMutex_, std::defer_lock);
    if (settings_.order != CompletionOrder::kShuffled) order.lock();
    std::vector<FinishedFrame> batch;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (settings_.order == CompletionOrder::kShuffled) {
        bool dry = jobs_.empty() && rendering_ == 0;
        if (static_cast<int>(ready_.size()) >= std::max(1, settings_.shuffleWindow) ||
            (dry && !ready_.empty())) {
          for (auto& [seq, f] : ready_) batch.push_back(f);
          ready_.clear();
          std::shuffle(batch.begin(), batch.end(), random_);
        }
      } else {
        for (;;) {
          auto skip = std::find(skipped_.begin(), skipped_.end(), nextInOrder_);
          if (skip != skipped_.end()) {
            skipped_.erase(skip);
            ++nextInOrder_;
            continue;
          }
          auto it = ready_.find(nextInOrder_);
          if (it == ready_.end()) break;
          batch.push_back(it->second);
          ready_.erase(it);
          ++nextInOrder_;
        }
      }
    }
    for (FinishedFrame& f : batch) Complete(f);
  }

  void Complete(FinishedFrame& f) {
    FrameCompletionFn callback;
    void* reference;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      callback = callback_;
      reference = reference_;
      ++stats_.completions;
    }
    FrameCompletionReturn ret{0, 1};
    if (callback != nullptr) callback(f.job.requestId, reference, f.job.time, f.frame, &ret);
    // A plug-in that keeps the frame clears the flag and disposes of it itself.
    if (callback == nullptr || ret.hostDisposesFrame != 0) PPixSuiteTable()->Dispose(f.frame);
  }

  RenderSettings settings_;
  std::mt19937 random_;
  std::mutex mutex_;
  std::mutex orderMutex_;
  std::condition_variable changed_;
  std::condition_variable idle_;
  std::deque<RenderJob> jobs_;
  std::map<int64_t, FinishedFrame> ready_;
  std::vector<int64_t> skipped_;
  std::vector<std::thread> threads_;
  FrameCompletionFn callback_ = nullptr;
  void* reference_ = nullptr;
  int64_t nextSequence_ = 0;
  int64_t nextInOrder_ = 0;
  uint32_t lastRequestId_ = 0;
  int rendering_ = 0;
  bool stop_ = false;
  RenderStatistics stats_;
};

std::mutex g_renderersMutex;
std::map<uint32_t, std::unique_ptr<VideoRenderer>> g_renderers;
uint32_t g_lastRendererId = 0;
RenderSettings g_settings;
RenderStatistics g_lastStatistics;

VideoRenderer* Find(uint32_t id) {
  std::lock_guard<std::mutex> lock(g_renderersMutex);
  auto it = g_renderers.find(id);
  return it == g_renderers.end() ? nullptr : it->second.get();
}

int32_t MakeVideoRenderer(uint32_t /*exporterId*/, uint32_t* rendererId,
                          int64_t /*ticksPerFrame*/) {
  if (rendererId == nullptr || g_settings.source == nullptr) return kSuiteErrorBadArgument;
  std::lock_guard<std::mutex> lock(g_renderersMutex);
  uint32_t id = ++g_lastRendererId;
  g_renderers[id] = std::make_unique<VideoRenderer>(g_settings);
  *rendererId = id;
  return 0;
}

int32_t ReleaseVideoRenderer(uint32_t /*exporterId*/, uint32_t rendererId) {
  std::unique_ptr<VideoRenderer> renderer;
  {
    std::lock_guard<std::mutex> lock(g_renderersMutex);
    auto it = g_renderers.find(rendererId);
    if (it == g_renderers.end()) return kSuiteErrorNotFound;
    renderer = std::move(it->second);
    g_renderers.erase(it);
  }
  renderer->Shutdown();
  DropSpareHostFrames();
  std::lock_guard<std::mutex> lock(g_renderersMutex);
  g_lastStatistics = renderer->Statistics();
  return 0;
}

int32_t GetFrameInfo(uint32_t rendererId, int64_t /*time*/, FrameInfo* info) {
  if (Find(rendererId) == nullptr) return kSuiteErrorNotFound;
  if (info != nullptr) info->repeatCount = 0;
  return 0;
}

int32_t QueueAsyncVideoFrameRender(uint32_t rendererId, int64_t time, uint32_t* requestId,
                                   const RenderParams* params, uint32_t /*cacheFlags*/,
                                   void* /*completionData*/) {
  VideoRenderer* r = Find(rendererId);
  if (r == nullptr) return kSuiteErrorNotFound;
  if (requestId == nullptr || params == nullptr) return kSuiteErrorBadArgument;
  int32_t answer = r->Queue(time, requestId, params);
  std::lock_guard<std::mutex> lock(g_renderersMutex);
  r->CopyStatistics(g_lastStatistics);
  return answer;
}

int32_t SetAsyncRenderCompletionProc(uint32_t rendererId, FrameCompletionFn callback,
                                     void* reference) {
  VideoRenderer* r = Find(rendererId);
  if (r == nullptr) return kSuiteErrorNotFound;
  r->SetCompletion(callback, reference);
  return 0;
}

const SequenceRenderSuite kSuite{&MakeVideoRenderer, &ReleaseVideoRenderer, &GetFrameInfo,
                                 &QueueAsyncVideoFrameRender, &SetAsyncRenderCompletionProc};

}  // namespace

void SetRenderSettings(const RenderSettings& settings) {
  g_settings = settings;
  std::lock_guard<std::mutex> lock(g_renderersMutex);
  g_lastStatistics = RenderStatistics{};
}

const SequenceRenderSuite* SequenceRenderSuiteTable() { return &kSuite; }

RenderStatistics CurrentRenderStatistics() {
  std::lock_guard<std::mutex> lock(g_renderersMutex);
  return g_lastStatistics;
}

int LiveVideoRenderers() {
  std::lock_guard<std::mutex> lock(g_renderersMutex);
  return static_cast<int>(g_renderers.size());
}

}  // namespace orx::host
