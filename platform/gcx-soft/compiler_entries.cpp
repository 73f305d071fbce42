// The compiler library's entries (slots 39-49), each a thin call into the shared core.
#include "platform/export.h"
#include "platform/gcx-soft/soft_runtime.h"

using namespace orx::gcx;
using orx::gcxsoft::Core;

#define GCX_ENTRY extern "C" ORX_EXPORT

GCX_ENTRY GcxResult gcxclGetVersion(int32_t* major, int32_t* minor, int32_t* build) {
  return Core().ClGetVersion(major, minor, build);
}
GCX_ENTRY GcxResult gcxclCompile(GcxObject* object, uint32_t language, const char* source, uint32_t target) {
  return Core().ClCompile(object, language, source, target);
}
GCX_ENTRY GcxResult gcxclLink(GcxImage* image, const GcxObject* objects, uint32_t count) {
  return Core().ClLink(image, objects, count);
}
GCX_ENTRY GcxResult gcxclFreeObject(GcxObject object) { return Core().ClFreeObject(object); }
GCX_ENTRY GcxResult gcxclFreeImage(GcxImage image) { return Core().ClFreeImage(image); }
GCX_ENTRY void gcxclDisassembleImage(GcxImage image, GcxLineCallback callback) {
  Core().ClDisassembleImage(image, callback);
}
// Assembling IL text is compiling it.
GCX_ENTRY GcxResult gcxclAssembleObject(GcxObject* object, uint32_t language, const char* text, uint32_t target) {
  return Core().ClCompile(object, language, text, target);
}
GCX_ENTRY void gcxclDisassembleObject(const GcxObject* object, GcxLineCallback callback) {
  Core().ClDisassembleObject(object, callback);
}
GCX_ENTRY GcxResult gcxclImageGetSize(uint32_t* size, GcxImage image) { return Core().ClImageGetSize(size, image); }
GCX_ENTRY GcxResult gcxclImageWrite(void* buffer, uint32_t size, GcxImage image) {
  return Core().ClImageWrite(buffer, size, image);
}
GCX_ENTRY const char* gcxclGetErrorString() { return orx::gcxsoft::CompilerErrorText(); }
