#include "framework/qva_os.h"
#include "platform/library_loader.h"

void* QVALoadLibrary(const char* fileName) { return orx::platform::LoadLibrary(fileName); }

void* QVAGetProcAddress(void* module, const char* name) {
  return orx::platform::GetLibrarySymbol(module, name);
}

QVAStatus QVAFreeLibrary(void* module) {
  return orx::platform::FreeLibrary(module) ? QVA_SUCCESS : QVA_ERR_GENERIC;
}
