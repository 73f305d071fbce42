#include "engine/catalogue/component_loader.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "engine/text/engine_paths.h"
#include "engine/text/engine_strings.h"
#include "engine/text/engine_trace.h"
#include "engine/catalogue/loader_lock.h"
#include "framework/qva_component.h"
#include "platform/host_sdk/utf16_text.h"
#include "platform/library_loader.h"

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

ActiveCompInfo g_entries[kActiveCompEntries];
uint32_t g_activeCount = 0;
std::string g_searchFolder;

void* AsPointer(auto function) { return reinterpret_cast<void*>(function); }

bool IsListSeparator(char c) { return c == ',' || c == ';'; }

// The tokens of a list separated by "," or ";", without surrounding white space; empty tokens
// are skipped.
std::vector<std::string> SplitList(std::string_view list) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < list.size()) {
    size_t end = i;
    while (end < list.size() && !IsListSeparator(list[end])) ++end;
    size_t first = i;
    size_t last = end;
    while (first < last && IsTextWhiteSpace(list[first])) ++first;
    while (last > first && IsTextWhiteSpace(list[last - 1])) --last;
    if (last > first) tokens.emplace_back(list.substr(first, last - first));
    i = end + 1;
  }
  return tokens;
}

// The file-name part of a library token (after its last "/" or "\").
std::string_view FileNamePart(std::string_view token) {
  const size_t cut = token.find_last_of("/\\");
  return cut == std::string_view::npos ? token : token.substr(cut + 1);
}

bool OwnerMatches(const ActiveCompInfo& entry, uintptr_t ownerId) {
  return entry.ownerId == 0 || entry.ownerId == ownerId;
}

ActiveCompInfo* FindEntry(const std::function<bool(const ActiveCompInfo&)>& match) {
  for (ActiveCompInfo& entry : g_entries) {
    if (entry.inUse && match(entry)) return &entry;
  }
  return nullptr;
}

ActiveCompInfo* FindLoaded(const char* name, uintptr_t ownerId) {
  return FindEntry([&](const ActiveCompInfo& e) {
    return OwnerMatches(e, ownerId) && StrCompareNoCase(e.row.name, name, -1) == 0;
  });
}

ComponentInstance* FirstRemembered(const ActiveCompInfo& entry) {
  for (ComponentInstance* instance : entry.created) {
    if (instance != nullptr) return instance;
  }
  return nullptr;
}

void Remember(ActiveCompInfo& entry, ComponentInstance* instance) {
  auto empty = std::find(entry.created.begin(), entry.created.end(), nullptr);
  if (empty != entry.created.end()) *empty = instance;
  else entry.created.push_back(instance);
}

CatalogueEntry MadeUpRow(const std::string& name) {
  CatalogueEntry row{};
  row.id = kCatalogueBuiltInId;
  StrCopyN(row.name, name.c_str(), sizeof row.name - 1);
  const std::string libraries = name + ".so," + name + ".dll";
  StrCopyN(row.libraries, libraries.c_str(), sizeof row.libraries - 1);
  return row;
}

// Creates the first component of a loaded entry and remembers it.
ComponentInstance* CreateFromEntry(ActiveCompInfo& entry) {
  if (entry.registration.create == nullptr) return nullptr;
  QVAengine_Trace(nullptr, ENGINEDEBUG_FLAG_TRACE, "CompCreateByName(%s) pfCompCreate=%p\n", entry.row.name,
                  AsPointer(entry.registration.create));
  ComponentInstance* instance = nullptr;
  if (entry.registration.create(nullptr, &instance) != QVA_SUCCESS || instance == nullptr) return nullptr;
  QVAengine_Trace(nullptr, ENGINEDEBUG_FLAG_TRACE, "CompCreateByName(%s) Create success: CompName=%s(%p)\n",
                  entry.row.name, CompShortName(instance).c_str(), static_cast<void*>(instance));
  Remember(entry, instance);
  ++entry.refCount;
  if (instance->interfaceVersion != QVA_INTERFACE_VERSION) {
    QVAengine_Trace(nullptr, ENGINEDEBUG_FLAG_ERROR,
                    "Warning: Component (%s) version mismatch: Engine=0x%08X Comp=0x%08X\n",
                    CompShortName(instance).c_str(),
                    QVA_INTERFACE_VERSION, instance->interfaceVersion);
  }
  return instance;
}

// Gives up an entry: the library's release entry, the library itself, the table place.
void ReleaseEntry(ActiveCompInfo& entry) {
  if (entry.registration.libRelease != nullptr) entry.registration.libRelease();
  if (entry.library != nullptr) QVAFreeLibrary(entry.library);
  if (g_activeCount > 0) --g_activeCount;
  entry = ActiveCompInfo{};
}

// Releases one remembered instance of the entry and forgets it; the entry goes with its last
// instance.
void ReleaseInstance(ActiveCompInfo& entry, ComponentInstance* instance) {
  if (entry.registration.release != nullptr) entry.registration.release(instance);
  std::replace(entry.created.begin(), entry.created.end(), instance, static_cast<ComponentInstance*>(nullptr));
  if (entry.refCount > 1) {
    --entry.refCount;
    return;
  }
  ReleaseEntry(entry);
}

// Opens the first library of the row's list that opens in one of the folders; the error text
// worth reporting (one other than a missing file, when there is one) goes to *error.
void* OpenRowLibrary(const CatalogueEntry& row, std::string* fileName, std::string* error) {
  std::string folders = row.path;
  if (!g_searchFolder.empty()) folders = folders.empty() ? g_searchFolder : folders + "," + g_searchFolder;
  std::vector<std::string> folderTokens = SplitList(folders);
  if (folderTokens.empty()) folderTokens.emplace_back();  // the loader's own search order
  for (const std::string& folder : folderTokens) {
    for (const std::string& token : SplitList(row.libraries)) {
      const std::string path = JoinPath(folder, FileNamePart(token));
      if (void* library = QVALoadLibrary(path.c_str())) {
        *fileName = path;
        return library;
      }
      const std::string reason = orx::platform::LastLibraryError();
      if (error->empty() || error->find("No such file") != std::string::npos) *error = reason;
    }
  }
  return nullptr;
}

}  // namespace

std::string CompShortName(const ComponentInstance* instance) {
  if (instance == nullptr) return "(null)";
  return std::string(instance->shortName, strnlen(instance->shortName, sizeof instance->shortName));
}

std::recursive_mutex& LoaderMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

QVAStatus CompSetLibPath(const void* text, uint32_t kind) {
  std::string folder;
  if (text != nullptr) {
    if (kind == kLibPathUtf16) folder = orx::host_sdk::Utf16ToUtf8(static_cast<const char16_t*>(text));
    else if (kind == kLibPathUtf32) folder = orx::host_sdk::Utf32ToUtf8(static_cast<const char32_t*>(text));
    else folder = static_cast<const char*>(text);
  }
  Lock lock(LoaderMutex());
  g_searchFolder = std::move(folder);
  return QVA_SUCCESS;
}

QVAStatus CompGetLibPath(char* out, uint32_t outSize) {
  if (out == nullptr || outSize == 0) return QVA_ERR_BADARG;
  Lock lock(LoaderMutex());
  StrCopyN(out, g_searchFolder.c_str(), outSize - 1);
  return QVA_SUCCESS;
}

ActiveCompInfo* AllocActiveCompInfo() {
  Lock lock(LoaderMutex());
  for (uint32_t i = 0; i < kActiveCompEntries; ++i) {
    if (!g_entries[i].inUse) {
      QVAengine_Trace(nullptr, ENGINEDEBUG_FLAG_TRACE, "AllocActiveCompInfo() index=%d activecount=%d\n",
                      static_cast<int>(i), static_cast<int>(g_activeCount));
      return &g_entries[i];
    }
  }
  return nullptr;
}

ActiveCompInfo* CompLoad(const CatalogueEntry* row, uintptr_t ownerId) {
  if (row == nullptr) return nullptr;
  Lock lock(LoaderMutex());
  ActiveCompInfo* entry = AllocActiveCompInfo();
  if (entry == nullptr) return nullptr;
  std::string fileName;
  std::string error;
  void* library = OpenRowLibrary(*row, &fileName, &error);
  if (library == nullptr) {
    QVAengine_Trace(nullptr, ENGINEDEBUG_FLAG_ERROR, "ERROR - Failed to open Component library: %s (%s)\n",
                    row->libraries, error.c_str());
    return nullptr;
  }
  QVAengine_Trace(nullptr, ENGINEDEBUG_FLAG_TRACE, "CompLoad(%s) LibOpen(%s) success: hLib=%p\n", row->name,
                  fileName.c_str(), library);
  auto libInit = reinterpret_cast<QVACompLibInitFn>(QVAGetProcAddress(library, "QVACompLibInit"));
  if (libInit == nullptr) {
    QVAengine_Trace(nullptr, ENGINEDEBUG_FLAG_ERROR, "CompLoad(%s) LibInit(hLib=%p, %s) failed\n", row->name, library,
                    fileName.c_str());
    QVAFreeLibrary(library);
    return nullptr;
  }
  QVAengine_Trace(nullptr, ENGINEDEBUG_FLAG_TRACE, "CompLoad(%s) LibInit(hLib=%p, %s) success\n", row->name, library,
                  fileName.c_str());
  *entry = ActiveCompInfo{};
  entry->row = *row;
  entry->ownerId = ownerId;
  entry->library = library;
  const std::string fileNamePart(FileNamePart(fileName));
  StrCopyN(entry->registration.name, fileNamePart.c_str(), sizeof entry->registration.name - 1);
  // Each library initialises itself on its first QVACompCreate, so LibInit is bound, not called.
  entry->registration.libInit = libInit;
  entry->registration.libRelease =
      reinterpret_cast<QVACompLibReleaseFn>(QVAGetProcAddress(library, "QVACompLibRelease"));
  entry->registration.create = reinterpret_cast<QVACompCreateFn>(QVAGetProcAddress(library, "QVACompCreate"));
  entry->registration.release = reinterpret_cast<QVACompReleaseFn>(QVAGetProcAddress(library, "QVACompRelease"));
  entry->inUse = 1;
  ++g_activeCount;
  return entry;
}

ComponentInstance* CompCreateByName(const char* names, uintptr_t ownerId, uint32_t noReuse) {
  if (names == nullptr) return nullptr;
  Lock lock(LoaderMutex());
  for (const std::string& name : SplitList(names)) {
    ActiveCompInfo* entry = noReuse ? nullptr : FindLoaded(name.c_str(), ownerId);
    if (entry != nullptr) {
      QVAengine_Trace(nullptr, ENGINEDEBUG_FLAG_TRACE, "CompCreateByName(%s) Already loaded: RefCount=%d(%p)\n",
                      entry->row.name, static_cast<int>(entry->refCount), static_cast<void*>(FirstRemembered(*entry)));
    } else if (const CatalogueEntry* row = CatalogueFindByName(name.c_str())) {
      QVAengine_Trace(nullptr, ENGINEDEBUG_FLAG_TRACE, "CompCreateByName(%s) CompLoad(Entry=%s)\n", name.c_str(),
                      row->name);
      entry = CompLoad(row, ownerId);
    } else {
      const CatalogueEntry madeUp = MadeUpRow(name);
      entry = CompLoad(&madeUp, ownerId);
    }
    if (entry != nullptr) return CreateFromEntry(*entry);
  }
  return nullptr;
}

QVAStatus CompUnload(ComponentInstance* handle) {
  if (handle == nullptr) return QVA_ERR_NOTFOUND;
  Lock lock(LoaderMutex());
  ActiveCompInfo* entry = FindEntry([&](const ActiveCompInfo& e) {
    return std::find(e.created.begin(), e.created.end(), handle) != e.created.end();
  });
  if (entry == nullptr) return QVA_ERR_NOTFOUND;
  ReleaseInstance(*entry, handle);
  return QVA_SUCCESS;
}

uint32_t CompRegisterStatic(const StaticCompRecord* record, uintptr_t ownerId) {
  if (record == nullptr) return 0;
  Lock lock(LoaderMutex());
  if (FindEntry([&](const ActiveCompInfo& e) {
        return e.ownerId == ownerId && StrCompareNoCase(e.row.name, record->name, -1) == 0;
      }) != nullptr) {
    return 1;
  }
  ActiveCompInfo* entry = AllocActiveCompInfo();
  if (entry == nullptr) return 0;
  *entry = ActiveCompInfo{};
  StrCopyN(entry->row.name, record->name, sizeof entry->row.name - 1);
  entry->registration = *record;
  entry->registration.name[sizeof entry->registration.name - 1] = '\0';
  if (record->libInit == nullptr && record->create == nullptr) return 0;
  entry->ownerId = ownerId;
  entry->inUse = 1;
  ++g_activeCount;
  return 0;
}

ComponentInstance* CompFindCreated(const char* name, uintptr_t ownerId) {
  if (name == nullptr) return nullptr;
  Lock lock(LoaderMutex());
  const ActiveCompInfo* entry = FindLoaded(name, ownerId);
  return entry != nullptr ? FirstRemembered(*entry) : nullptr;
}

const ActiveCompInfo* CompFindLoaded(const char* name, uintptr_t ownerId) {
  if (name == nullptr) return nullptr;
  Lock lock(LoaderMutex());
  return FindLoaded(name, ownerId);
}

uint32_t CompGetActiveCount() {
  Lock lock(LoaderMutex());
  return g_activeCount;
}

void ActiveCompClearAll() {
  Lock lock(LoaderMutex());
  for (ActiveCompInfo& entry : g_entries) entry = ActiveCompInfo{};
  g_activeCount = 0;
}

void CompUnloadAll() {
  Lock lock(LoaderMutex());
  // Every entry in use, wherever it sits in the table, with its instances released first: a
  // library must not be unmapped under a live instance's worker thread.
  for (ActiveCompInfo& entry : g_entries) {
    if (!entry.inUse) continue;
    for (ComponentInstance* instance : entry.created) {
      if (instance != nullptr && entry.registration.release != nullptr) entry.registration.release(instance);
    }
    ReleaseEntry(entry);
  }
  g_activeCount = 0;
}

ComponentInstance* CompLoadById(uint32_t id, uintptr_t ownerId, uint32_t noReuse) {
  Lock lock(LoaderMutex());
  ActiveCompInfo* entry =
      noReuse ? nullptr : FindEntry([&](const ActiveCompInfo& e) { return OwnerMatches(e, ownerId) && e.row.id == id; });
  if (entry != nullptr) {
    if (ComponentInstance* instance = FirstRemembered(*entry)) return instance;
  } else {
    entry = CompLoad(CatalogueFindById(id), ownerId);
    if (entry == nullptr) return nullptr;
  }
  return CreateFromEntry(*entry);
}

QVAStatus CompUnloadById(uint32_t id, uintptr_t ownerId) {
  Lock lock(LoaderMutex());
  ActiveCompInfo* entry = FindEntry([&](const ActiveCompInfo& e) {
    return OwnerMatches(e, ownerId) && e.row.id == id && FirstRemembered(e) != nullptr;
  });
  return entry != nullptr ? CompUnload(FirstRemembered(*entry)) : QVA_ERR_NOTFOUND;
}

QVAStatus CompUnloadByName(const char* name, uintptr_t ownerId) {
  if (name == nullptr) return QVA_ERR_NOTFOUND;
  Lock lock(LoaderMutex());
  ActiveCompInfo* entry = FindEntry([&](const ActiveCompInfo& e) {
    return OwnerMatches(e, ownerId) && StrCompareNoCase(e.row.name, name, -1) == 0 && FirstRemembered(e) != nullptr;
  });
  return entry != nullptr ? CompUnload(FirstRemembered(*entry)) : QVA_ERR_NOTFOUND;
}
