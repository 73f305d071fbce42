#include "venc/common/picture.h"

#include <new>

#include "venc/common/frame_store.h"

namespace orx::venc {

bool CPicture::Init(CFrameStore* owner, const EncoderSettings* sequence) {
  store = owner;
  settings = sequence;
  if ((owner->Flags() & FRAME_STORE_SHARED) == 0) {
    const int count = sequence->mbCols * sequence->mbRows;
    mbInfo = new (std::nothrow) MBInfo[count > 0 ? count : 1]();
    if (mbInfo == nullptr) return false;
  }
  srcLuma = srcChroma = reconLuma = reconChroma = nullptr;
  linkedPicture = nullptr;
  sourceBufferIndex = reconBufferIndex = -1;
  return true;
}

void CPicture::Free() {
  if (store == nullptr || (store->Flags() & FRAME_STORE_SHARED) == 0) delete[] mbInfo;
  mbInfo = nullptr;
  srcLuma = srcChroma = reconLuma = reconChroma = nullptr;
  forwardRef = backwardRef = nullptr;
  linkedPicture = nullptr;
  mvCodeLength = nullptr;
  sourceBufferIndex = reconBufferIndex = -1;
}

void CPicture::Release() {
  refCount -= 1;
  if (refCount != 0) return;
  if (linkedPicture != nullptr) linkedPicture->Release();
  linkedPicture = nullptr;
  if (store != nullptr) store->PutPicture(this);
}

void CPicture::SetLink(CPicture* picture) {
  if (linkedPicture != nullptr) linkedPicture->Release();
  linkedPicture = picture;
  if (picture != nullptr) picture->AddRef();
}

void CPicture::SetSourceBuffer(int index) {
  sourceBufferIndex = static_cast<int16_t>(index);
  const FrameBufferPair pair = store->GetFrameBuffer(index);
  srcLuma = pair.luma;
  srcChroma = pair.chroma;
}

void CPicture::SetReconBuffer(int index) {
  reconBufferIndex = static_cast<int16_t>(index);
  const FrameBufferPair pair = store->GetFrameBuffer(index);
  reconLuma = pair.luma;
  reconChroma = pair.chroma;
}

}  // namespace orx::venc
