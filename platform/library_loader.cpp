#include "platform/library_loader.h"

#include <dlfcn.h>

namespace orx::platform {
namespace {
thread_local std::string t_lastError;

void KeepError(const char* fallback) {
  const char* e = dlerror();
  t_lastError = e ? e : fallback;
}
}  // namespace

void* LoadLibrary(const char* path) {
  if (path == nullptr || *path == '\0') {
    t_lastError = "no library name given";
    return nullptr;
  }
  dlerror();
  void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) KeepError("dlopen failed");
  else t_lastError.clear();
  return handle;
}

void* GetLibrarySymbol(void* library, const char* name) {
  if (library == nullptr || name == nullptr) {
    t_lastError = "no library or symbol name given";
    return nullptr;
  }
  dlerror();
  void* symbol = dlsym(library, name);
  if (symbol == nullptr) KeepError("symbol not found");
  else t_lastError.clear();
  return symbol;
}

bool FreeLibrary(void* library) {
  if (library == nullptr) {
    t_lastError = "no library given";
    return false;
  }
  if (dlclose(library) != 0) {
    KeepError("dlclose failed");
    return false;
  }
  t_lastError.clear();
  return true;
}

std::string LastLibraryError() { return t_lastError; }

}  // namespace orx::platform
