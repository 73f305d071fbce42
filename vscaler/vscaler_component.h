#pragma once
// The qvavscaler component: its private record, method-table entries and the hooks the
// framework calls. The glue only translates buffers and formats into calls on the scaler core.
#include <cstdint>

#include "framework/qva_component.h"
#include "media/media_type.h"
#include "vscaler/video_scaler.h"

namespace orx::vscaler {

// Pin queue defaults: one 1920x1088 planar 4:2:0 frame per slot, two slots.
inline constexpr uint32_t kVScalerBufferSize = 0x2FD000;
inline constexpr uint32_t kVScalerBufferCount = 2;

// The component's private area (zeroed with the instance by the framework).
struct VScalerComponentState {
  VideoScaler* scaler;  // made by the create hook, destroyed by the destroy hook
  uint32_t scaleMode;   // ScaleMode, 1 from creation
  uint64_t lastPts;     // last presentation time seen on input (ms)
  VideoMediaType inputType;
  VideoMediaType outputType;
  uint32_t outputTypeSet;  // 1 once an output format was stored; never cleared
  uint32_t inputBufferSize, inputBufferCount;
  uint32_t outputBufferSize, outputBufferCount;
};

// Private defaults at creation: no scaler, resize mode, the default queue sizes.
void VScaler_InitPrivate(ComponentInstance* instance);
// At release: a scaler that no End destroyed is freed with the instance.
void VScaler_ReleasePrivate(ComponentInstance* instance);

// Method-table entries (slots 2, 4 and 16); the others are the framework's.
QVAStatus VScaler_GetFormat(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* record);
QVAStatus VScaler_SetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size);
QVAStatus VScaler_SetFormat(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* record);

// Hooks (the framework's CompCreateHook, CompProcessHook and CompDestroyHook call these).
QVAStatus CreateVideoScaler(ComponentInstance* instance);
QVAStatus VideoScalerProcessBuf(ComponentInstance* instance, ComponentBuffer* input);
QVAStatus DestroyVideoScaler(ComponentInstance* instance);

// A format-change buffer's record: pins sized, the output format sent downstream, the scaler
// set up. 40 for formats the scaler cannot serve, 4 when the conversion buffer cannot be had.
QVAStatus OnVScalerFormatChange(ComponentInstance* instance, const VideoMediaType* input);

}  // namespace orx::vscaler
