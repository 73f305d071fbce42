#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace orx::platform {

bool CreateSharedMemory(const std::string& name, size_t size, SharedMapping* out) {
  std::string path = "/" + name;
  int fd = ::shm_open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
    ::close(fd);
    ::shm_unlink(path.c_str());
    return false;
  }
  void* view = size == 0 ? nullptr : ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ::close(fd);
  if (view == MAP_FAILED) {
    ::shm_unlink(path.c_str());
    return false;
  }
  out->view = view;
  out->size = size;
  out->readOnly = false;
  out->created = true;
  out->name = path;
  return true;
}

bool OpenSharedMemory(const std::string& name, SharedMapping* out) {
  std::string path = "/" + name;
  bool readOnly = false;
  int fd = ::shm_open(path.c_str(), O_RDWR | O_CLOEXEC, 0);
  if (fd < 0 && errno == EACCES) {
    readOnly = true;
    fd = ::shm_open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  }
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return false;
  }
  size_t size = static_cast<size_t>(st.st_size);
  void* view = nullptr;
  if (size != 0) {
    int protection = readOnly ? PROT_READ : PROT_READ | PROT_WRITE;
    view = ::mmap(nullptr, size, protection, MAP_SHARED, fd, 0);
  }
  ::close(fd);
  if (view == MAP_FAILED) return false;
  out->view = view;
  out->size = size;
  out->readOnly = readOnly;
  out->created = false;
  out->name = path;
  return true;
}

void CloseSharedMemory(SharedMapping* mapping) {
  if (mapping->view != nullptr) ::munmap(mapping->view, mapping->size);
  if (mapping->created) ::shm_unlink(mapping->name.c_str());
  *mapping = SharedMapping{};
}

}  // namespace orx::platform
