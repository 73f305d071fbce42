#pragma once
// The catalogue of component names and the library files that provide them: 32 rows, of which
// the first 28 are built in; a row with an empty name ends the list.
#include <cstdint>

#include "framework/qva_status.h"
#include "media/record_layout.h"

// One catalogue row, a plain record copied whole.
struct CatalogueEntry {
  uint32_t id;          // catalogue id; 0xFFFF in every built-in row
  char name[16];        // component name, compared without case
  char path[256];       // an extra search folder for this row (empty in the built-in rows)
  char libraries[96];   // library files to try in order, separated by "," or ";"
};
static_assert(sizeof(CatalogueEntry) == 372);
ORX_ASSERT_FIELD(CatalogueEntry, id, 0);
ORX_ASSERT_FIELD(CatalogueEntry, name, 4);
ORX_ASSERT_FIELD(CatalogueEntry, path, 20);
ORX_ASSERT_FIELD(CatalogueEntry, libraries, 276);

inline constexpr uint32_t kCatalogueRows = 32;
inline constexpr uint32_t kCatalogueBuiltInRows = 28;
inline constexpr uint32_t kCatalogueBuiltInId = 0xFFFF;
// CatalogueAddEntry's answer when every row is taken (a code without a status text).
inline constexpr QVAStatus kCatalogueFull = 54;

// A row whose name equals the new row's (without case) is replaced whole; otherwise the row is
// appended. 54 when all 32 rows hold names; 3 without a row or a name.
QVAStatus CatalogueAddEntry(const CatalogueEntry* row);
// The row of that name (without case), or null. The row stays valid; a later
// CatalogueAddEntry of the same name replaces its contents.
const CatalogueEntry* CatalogueFindByName(const char* name);
const CatalogueEntry* CatalogueFindById(uint32_t id);
const CatalogueEntry* CatalogueFind(const char* name);

// Puts the 28 built-in rows and the end row back (for tests, which share the process's
// catalogue).
void CatalogueRestoreBuiltIn();
