// A mock video encoder library, placed in the test's search folder as libqvavenc.so. It keeps
// the video encoder component's contract with MULTIVENC: formats and the parameter block, the
// batch-start marker (a new stream: end-of-stream word cleared, stream event, stream start), the
// end markers (end of stream without end of input and option bit 11: a flush request, the
// encoder stays open; otherwise it closes), pictures held back like B pictures (M - 1 of them)
// until a flush or close. Each picture is a MockPicture: the frame's id read from its luma and its
// time, padded to the behaviour's picture size. It records the parameters, formats and the
// frame ids of each batch it receives.
#include <atomic>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "framework/component_library.h"
#include "framework/shipped_descriptors.h"
#include "media/media_codes.h"
#include "media/media_params.h"
#include "media/media_type.h"
#include "media/video_encoder_params.h"
#include "tests/engine/transcode/double_support.h"

namespace {

using tengine_double::Behaviour;
using tengine_double::Record;

constexpr const char* kWho = "venc";
constexpr uint32_t kMinimumPicture = sizeof(MockPicture);
constexpr uint32_t kStallPollMs = 5;

struct MockPrivate {
  VideoEncoderParams params;
  VideoMediaType input;
  VideoMediaType output;
  uint32_t creationIndex;
  uint32_t inputSize;   // input pin 0's buffers, as the parameter block's BUFFERS set them
  uint32_t inputCount;
  uint32_t batch;
  std::vector<uint32_t>* batchIds;   // ids of the current batch
  std::deque<MockPicture>* held;     // pictures held back (B-picture delay)
};

std::atomic<uint32_t> g_created{0};
std::atomic<uint32_t> g_pictures{0};  // over every instance, for the failure behaviour

MockPrivate* Private(ComponentInstance* instance) { return CompPrivate<MockPrivate>(instance); }

uint32_t Word(const void* record, size_t offset) {
  uint32_t value;
  std::memcpy(&value, static_cast<const uint8_t*>(record) + offset, sizeof value);
  return value;
}

uint32_t ReadId(const uint8_t* luma, uint32_t width) {
  uint32_t id = 0;
  for (uint32_t bit = 0; bit < kIdBits && bit * kIdStripeWidth + 1 < width; ++bit) {
    if (luma[2 * width + bit * kIdStripeWidth + 1] > 128) id |= 1u << bit;
  }
  return id;
}

void EmitPicture(ComponentInstance* instance, const MockPicture& picture) {
  std::vector<uint8_t> bytes(picture.bytes, 0xA5);
  std::memcpy(bytes.data(), &picture, sizeof picture);
  uint32_t offset = 0;
  do {
    ComponentBuffer* out = nullptr;
    if (CompBase_GetEmptyOutput(instance, 0, &out) != QVA_SUCCESS || out == nullptr) return;
    const uint32_t piece = std::min<uint32_t>(picture.bytes - offset, out->capacity);
    std::memcpy(out->data, bytes.data() + offset, piece);
    out->length = piece;
    out->flags = QVA_BUFFLAG_VIDEO;
    if (offset == 0) {
      out->flags |= QVA_BUFFLAG_TIMESTAMP | QVA_BUFFLAG_SYNCPOINT;
      out->timestamp = picture.time;
    }
    CompBase_DeliverOutput(instance, 0, out);
    offset += piece;
  } while (offset < picture.bytes);
}

void EmitHeld(ComponentInstance* instance, size_t keep) {
  MockPrivate* p = Private(instance);
  while (p->held->size() > keep) {
    EmitPicture(instance, p->held->front());
    p->held->pop_front();
  }
}

void EndBatch(ComponentInstance* instance, const char* how) {
  MockPrivate* p = Private(instance);
  std::string ids;
  for (uint32_t id : *p->batchIds) ids += std::to_string(id) + ",";
  if (!p->batchIds->empty()) {
    Record(kWho, "batch %u %u %zu %s %s", p->creationIndex, p->batch, p->batchIds->size(), how, ids.c_str());
  }
  p->batchIds->clear();
  p->batch++;
}

QVAStatus SetFormat(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* record) {
  if (record == nullptr) return QVA_ERR_BADARG;
  if (Word(record, 0) < 16) return QVA_ERR_TOOSMALL;
  if (pin != 0 || direction > 1) return QVA_ERR_UNSUPPORTED;
  MockPrivate* p = Private(instance);
  VideoMediaType& target = direction == 0 ? p->input : p->output;
  if (direction == 0) {
    const uint32_t subtype = Word(record, 8);
    if (Word(record, 4) != QVA_MTYPE_VIDEO ||
        (subtype != QVA_MSUBTYPE_YUV420 && subtype != QVA_MSUBTYPE_YUV444I && subtype != QVA_MSUBTYPE_NV12 &&
         subtype != QVA_MSUBTYPE_BGRA)) {
      return QVA_ERR_FORMAT;
    }
  }
  ApplyReceivedMediaType(target, record);
  Record(kWho, "SetFormat %u %u 0x%X %ux%u", p->creationIndex, direction, target.subtype, target.secondWidth,
         target.secondHeight);
  return QVA_SUCCESS;
}

QVAStatus GetFormat(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* record) {
  if (record == nullptr) return QVA_ERR_BADARG;
  const uint32_t size = Word(record, 0);
  if (size < 16) return QVA_ERR_TOOSMALL;
  if (pin != 0 || direction > 1) return QVA_ERR_UNSUPPORTED;
  MockPrivate* p = Private(instance);
  VideoMediaType format = direction == 0 ? p->input : p->output;
  if (direction == 1) {
    static const uint8_t kHeader[] = {0, 0, 1, 0xB3, 'M', 'O', 'C', 'K'};
    format.codecPrivateLength = sizeof kHeader;
    std::memcpy(format.codecPrivate, kHeader, sizeof kHeader);
  }
  format.size = size >= sizeof format ? sizeof format : 16;
  std::memcpy(record, &format, format.size);
  return QVA_SUCCESS;
}

QVAStatus SetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size) {
  MockPrivate* p = Private(instance);
  if (id == QVA_PARAM_VIDEOENCODER) {
    if (data == nullptr || size < sizeof(VideoEncoderParams)) return QVA_ERR_TOOSMALL;
    std::memcpy(&p->params, data, sizeof p->params);
    const VideoEncoderParams& v = p->params;
    Record(kWho, "params %u engine=0x%X count=%u N=%u M=%u group=%u options=0x%X gpu=%u", p->creationIndex,
           v.engineFlags, v.encoderCount, v.gopLength, v.anchorDistance, v.groupLength, v.optionFlags, v.gpuMask);
    return QVA_SUCCESS;
  }
  if (id == QVA_PARAM_BUFFERS && data != nullptr && size >= sizeof(PinBufferConfig)) {
    PinBufferConfig config;
    std::memcpy(&config, data, sizeof config);
    Record(kWho, "buffers %u pin=%u count=%u size=%u", p->creationIndex, config.pinIndex, config.bufferCount,
           config.bufferSize);
    if (config.pinIndex == 0) {
      if (config.bufferSize != 0) p->inputSize = config.bufferSize;
      if (config.bufferCount != 0) p->inputCount = config.bufferCount;
    }
    if (config.pinIndex == 1) {
      // Output pin 0 is set up again with the new size and count.
      return CompBase_SetupOutputPin(instance, 0, nullptr, nullptr, nullptr, config.bufferSize, config.bufferCount);
    }
  }
  if (id == QVA_PARAM_LOG && data != nullptr) Record(kWho, "log %u level=%u", p->creationIndex, Word(data, 0));
  return CompBase_SetParam(instance, id, data, size);
}

QVAStatus GetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size) {
  if (id == QVA_PARAM_VIDEOENCODER) {
    if (data == nullptr || size < sizeof(VideoEncoderParams)) return QVA_ERR_TOOSMALL;
    std::memcpy(data, &Private(instance)->params, sizeof(VideoEncoderParams));
    return QVA_SUCCESS;
  }
  return CompBase_GetParam(instance, id, data, size);
}

QVAStatus GetInputPin(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn* get, QVADeliverBufferFn* deliver) {
  const MockPrivate* p = Private(instance);
  return CompBase_GetInputPin(instance, pin, get, deliver, p->inputSize, p->inputCount);
}

QVAStatus End(ComponentInstance* instance) {
  Record(kWho, "End %u", Private(instance)->creationIndex);
  return CompLib_End(instance);
}

constexpr QVACompMethods Methods() {
  QVACompMethods m = kCompLibDefaultMethods;
  m.QVAComp_GetInputPin = GetInputPin;
  m.QVAComp_GetFormat = GetFormat;
  m.QVAComp_SetFormat = SetFormat;
  m.QVAComp_SetParam = SetParam;
  m.QVAComp_GetParam = GetParam;
  m.QVAComp_End = End;
  return m;
}

const ComponentInfo kDescriptors[] = {QVAMakeDescriptor(kShippedVENC, Methods())};

void InitPrivate(ComponentInstance* instance) {
  MockPrivate* p = Private(instance);
  p->creationIndex = g_created.fetch_add(1);
  p->inputSize = 622080;
  p->inputCount = 2;
  p->batchIds = new std::vector<uint32_t>();
  p->held = new std::deque<MockPicture>();
  p->input.size = p->output.size = sizeof(VideoMediaType);
  p->input.MType = p->output.MType = QVA_MTYPE_VIDEO;
  p->input.subtype = QVA_MSUBTYPE_YUV420;
  p->output.subtype = QVA_MSUBTYPE_MPV2;
  Record(kWho, "create %u", p->creationIndex);
}

void ReleasePrivate(ComponentInstance* instance) {
  MockPrivate* p = Private(instance);
  delete p->batchIds;
  delete p->held;
}

const CompLibraryDefinition kLibrary = {kDescriptors, 1, sizeof(MockPrivate), 622080, 2, 8192, 64,
                                        nullptr, nullptr, InitPrivate, ReleasePrivate};

void Reconfigure(ComponentInstance* instance, const ComponentBuffer& buffer) {
  MockPrivate* p = Private(instance);
  if (buffer.length < 16) return;
  ApplyReceivedMediaType(p->input, buffer.data);
  const uint32_t width = (p->input.secondWidth + 15) & ~15u;
  const uint32_t height = (p->input.secondHeight + 15) & ~15u;
  Record(kWho, "format %u 0x%X %ux%u", p->creationIndex, p->input.subtype, p->input.secondWidth,
         p->input.secondHeight);
  if (width != 0 && height != 0) {
    CompBase_SetupInputPin(instance, 0, nullptr, nullptr, width * height * 3 / 2, instance->inputPin[0].bufferCount);
  }
  CompBase_SetProgressPending(instance, 1);
  CompBase_SendFormatChange(instance, 0);
  if (CompBase_IsRunning(instance)) CompBase_SetState(instance, QVA_STATE_PLAYING);
}

void StartBatch(ComponentInstance* instance, const ComponentBuffer& buffer) {
  EndBatch(instance, "restart");
  ComponentBuffer* out = nullptr;
  if (CompBase_GetEmptyOutput(instance, 0, &out) == QVA_SUCCESS && out != nullptr) {
    out->flags = QVA_BUFFLAG_VIDEO | (buffer.flags & (QVA_BUFFLAG_RESUME | QVA_BUFFLAG_BATCHSTART | QVA_BUFFLAG_STREAMSTART));
    out->length = 0;
    if (buffer.flags & QVA_BUFFLAG_TIMESTAMP) {
      out->flags |= QVA_BUFFLAG_TIMESTAMP;
      out->timestamp = buffer.timestamp;
    }
    CompBase_DeliverOutput(instance, 0, out);
  }
  CompBase_SetEOS(instance, 0);
  CompBase_SendStreamEvent(instance, 0x20001);
  CompBase_SetStreamStart(instance, 12);
}

void Encode(ComponentInstance* instance, const ComponentBuffer& buffer) {
  MockPrivate* p = Private(instance);
  const uint32_t width = p->input.secondWidth;
  CompBase_CountFrame(instance, 0, QVA_PROGRESS_KIND_VIDEO, QVA_COUNT_START);
  const uint32_t delay = Behaviour(kWho).frameDelayMs[p->creationIndex % 16];
  if (delay != 0) QVASleep(delay);
  MockPicture picture{};
  picture.magic = kMockPictureMagic;
  picture.id = width != 0 && buffer.length >= 3 * width ? ReadId(buffer.data, width) : 0xFFFFFFFF;
  picture.time = buffer.timestamp;
  picture.instance = p->creationIndex;
  picture.batch = p->batch;
  picture.bytes = std::max(Behaviour(kWho).pictureBytes, kMinimumPicture);
  p->batchIds->push_back(picture.id);
  p->held->push_back(picture);
  const uint32_t m = std::max<uint32_t>(p->params.anchorDistance, 1);
  EmitHeld(instance, m - 1);
  CompBase_CountFrame(instance, 0, QVA_PROGRESS_KIND_VIDEO, QVA_COUNT_DONE);
  CompBase_SendProgress(instance, 0);
}

}  // namespace

QVAStatus CompCreateHook(ComponentInstance* instance) {
  if (!CompBase_IsState(instance, QVA_STATE_NONE)) return QVA_ERR_WRONGSTATE;
  return CompBase_Init(instance);
}

QVAStatus CompProcessHook(ComponentInstance* instance, ComponentBuffer* buffer) {
  while (Behaviour(kWho).stall.load() && CompBase_IsRunning(instance)) QVASleep(kStallPollMs);
  if (buffer == nullptr) return QVA_SUCCESS;
  MockPrivate* p = Private(instance);
  const uint32_t flags = buffer->flags;
  if (flags & (QVA_BUFFLAG_RESUME | QVA_BUFFLAG_BATCHSTART | QVA_BUFFLAG_STREAMSTART)) StartBatch(instance, *buffer);
  if ((flags & QVA_BUFFLAG_FORMAT) && buffer->data != nullptr) {
    Reconfigure(instance, *buffer);
    return QVA_SUCCESS;
  }
  if (buffer->length != 0 && buffer->data != nullptr) {
    // An encoder that fails in the middle of the stream, as a lost output or write would.
    const uint32_t failAt = Behaviour(kWho).failAtPicture;
    if (failAt != 0 && g_pictures.fetch_add(1) + 1 == failAt) return QVA_ERR_WRITE;
    Encode(instance, *buffer);
  }
  if (flags & (QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI)) {
    const bool endOfInput = (flags & QVA_BUFFLAG_EOI) != 0;
    if ((p->params.optionFlags & VEP_OPT_EOS_KEEP_OPEN) && !endOfInput) return QVA_SUCCESS;
    EmitHeld(instance, 0);
    EndBatch(instance, !endOfInput && (p->params.optionFlags & VEP_OPT_EOS_FLUSH) ? "flush" : "close");
  }
  return QVA_SUCCESS;
}

QVAStatus CompDestroyHook(ComponentInstance* instance) { return CompBase_Deinit(instance); }

QVA_COMPONENT_LIBRARY(kLibrary)
