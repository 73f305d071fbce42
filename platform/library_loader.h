#pragma once
// Run-time library loading over dlopen: libraries are opened with RTLD_NOW | RTLD_LOCAL, so a
// library's own symbols never serve another library. A failed call keeps the loader's error
// text for the calling thread.
#include <string>

namespace orx::platform {

void* LoadLibrary(const char* path);
void* GetLibrarySymbol(void* library, const char* name);
bool FreeLibrary(void* library);

// The error text of this thread's last failed call ("" after a success).
std::string LastLibraryError();

}  // namespace orx::platform
