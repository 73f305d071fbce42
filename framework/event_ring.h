#pragma once
// Private to the trace-event code: the manager's lock and a consistent copy of its ring.
#include <string>
#include <vector>

#include "framework/event_manager.h"

// Holds a manager's lock word: a spin lock that yields while another thread (of any library)
// records into or reads the ring.
class EventRingLock {
 public:
  explicit EventRingLock(EventManager* manager);
  ~EventRingLock();
  EventRingLock(const EventRingLock&) = delete;
  EventRingLock& operator=(const EventRingLock&) = delete;

 private:
  EventManager* manager_;
};

struct EventRingCopy {
  std::string name;
  uint32_t held = 0;  // events held by the ring
  uint32_t mask = 0;
  std::vector<TraceEvent> events;  // the last events asked for, oldest first
};

// The manager asked for, or this library's current one.
EventManager* ResolveEventManager(EventManager* manager);
// Copies the last count events (all for 0 or more than are held) under the lock.
EventRingCopy CopyEventRing(EventManager* manager, uint32_t count);
