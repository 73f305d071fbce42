#pragma once
// The run-time loader: creates components by name from the libraries the catalogue names (or
// from components registered inside the engine library), counts the instances per library and
// unloads a library when its last instance is released. Every function is serialised by one
// process-wide lock.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/catalogue/component_catalogue.h"
#include "framework/component_library.h"

// The argument of CompRegisterStatic: a component built into the calling library.
struct StaticCompRecord {
  uint32_t reserved;  // 0
  char name[64];
  QVACompLibInitFn libInit;
  QVACompLibReleaseFn libRelease;
  QVACompCreateFn create;
  QVACompReleaseFn release;
};

// One loaded library or registered built-in component.
struct ActiveCompInfo {
  uint32_t inUse = 0;     // 1 while the entry describes a loaded library or built-in component
  uint32_t refCount = 0;  // instances created from this entry and not yet released
  CatalogueEntry row{};   // the row it was loaded from (or the made-up row)
  void* library = nullptr;  // none for a built-in component
  // Every instance created from this entry and not yet released; a released one leaves an
  // empty place that the next instance takes.
  std::vector<ComponentInstance*> created;
  uintptr_t ownerId = 0;  // 0 for the engine; MULTIVENC passes its own state
  // The built-in component's record; for a library, name holds the name of the file that opened
  // (without its folder) and the entry points are the ones bound (any may be missing).
  StaticCompRecord registration{};
};
inline constexpr uint32_t kActiveCompEntries = 16;

// CompSetLibPath kinds.
inline constexpr uint32_t kLibPathNarrow = 1;
inline constexpr uint32_t kLibPathUtf16 = 2;
inline constexpr uint32_t kLibPathUtf32 = 4;

// Sets the component search folder from a narrow (kind 1 or any other value), UTF-16 (2) or
// UTF-32 (4) text; wide texts become UTF-8. With or without a trailing separator the text names
// the folder itself. 0.
QVAStatus CompSetLibPath(const void* text, uint32_t kind);
// Copies the folder into out (cut to outSize - 1 characters). 0; 3 without out.
QVAStatus CompGetLibPath(char* out, uint32_t outSize);

// Creates the first component of the first name of the list (names separated by "," or ";")
// that can be had: an entry already loaded for that name (unless noReuse), else the library of
// its catalogue row, else the files name + ".so" and name + ".dll". Null when none can.
ComponentInstance* CompCreateByName(const char* names, uintptr_t ownerId, uint32_t noReuse);
// Releases an instance the loader created; the library goes when its last instance does.
// 0; 7 when no entry remembers the handle (also for a handle released before).
QVAStatus CompUnload(ComponentInstance* handle);
// 0 registered (or nothing to register: no free entry, or neither LibInit nor Create given);
// 1 when the owner already registered that name.
uint32_t CompRegisterStatic(const StaticCompRecord* record, uintptr_t ownerId);
// The first remembered instance of the entry loaded for name, or null.
ComponentInstance* CompFindCreated(const char* name, uintptr_t ownerId);

// The instance's short name (at most 16 characters, terminated or not), "(null)" without one.
std::string CompShortName(const ComponentInstance* instance);

// Internal steps, declared for the transcode engine and the tests.
ActiveCompInfo* AllocActiveCompInfo();
ActiveCompInfo* CompLoad(const CatalogueEntry* row, uintptr_t ownerId);
// The entry in use for that name whose owner is 0 or ownerId, or null.
const ActiveCompInfo* CompFindLoaded(const char* name, uintptr_t ownerId);
uint32_t CompGetActiveCount();

// Not called by the system.
// Forgets every entry without releasing anything.
void ActiveCompClearAll();
// Releases every remembered instance and every library (or built-in component), then empties
// the table.
void CompUnloadAll();
// An instance of the catalogue row with that id: the first remembered instance of its loaded
// entry (unless noReuse), else a new one from the loaded library.
ComponentInstance* CompLoadById(uint32_t id, uintptr_t ownerId, uint32_t noReuse);
// Release the first remembered instance of the matching entry as CompUnload does; 7 without.
QVAStatus CompUnloadById(uint32_t id, uintptr_t ownerId);
QVAStatus CompUnloadByName(const char* name, uintptr_t ownerId);
