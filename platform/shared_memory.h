#pragma once
// Named shared memory on shm_open, ftruncate and mmap. A name is "/" and the caller's text,
// visible as /dev/shm/<text>. The creator removes the name when it closes its mapping.
#include <cstddef>
#include <string>

namespace orx::platform {

struct SharedMapping {
  void* view = nullptr;
  size_t size = 0;
  bool readOnly = false;
  bool created = false;
  std::string name;
};

// Creates (or opens an existing) object of that size, mapped read and write.
bool CreateSharedMemory(const std::string& name, size_t size, SharedMapping* out);
// Opens an existing object read and write, or read only when writing is refused.
bool OpenSharedMemory(const std::string& name, SharedMapping* out);
void CloseSharedMemory(SharedMapping* mapping);

}  // namespace orx::platform
