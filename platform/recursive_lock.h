#pragma once
// A re-entrant lock: the thread that holds it may take it again, and must leave it as often.
#include <pthread.h>

namespace orx::platform {

class RecursiveLock {
 public:
  RecursiveLock();
  ~RecursiveLock();
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  void Enter();
  void Leave();

 private:
  pthread_mutex_t mutex_;
};

}  // namespace orx::platform
