#include "engine/catalogue/component_catalogue.h"

#include <cstring>

#include "engine/text/engine_strings.h"
#include "engine/catalogue/loader_lock.h"

namespace {

struct BuiltInRow {
  const char* name;
  const char* libraries;
};

// The component libraries the engine knows by name. Only qvaaenc and qvavenc are the system's
// own; the rest are libraries of other products that a playback graph may load.
constexpr BuiltInRow kBuiltInRows[kCatalogueBuiltInRows] = {
    {"freader", "libqvafilereader.so;qvafilereader.dll"},
    {"vidrend", "libqvavidrend.so,qvavidrend.dll"},
    {"wmvdec", "libqvacvdec.so,qvacvdec.dll,libqvawmvdec.so,qvawmvdec.dll"},
    {"mpegdec", "libqvacvdec.so,qvacvdec.dll,libqvampeg2dec.so,qvampeg2dec.dll"},
    {"pelkorvdec", "libqvacvdec.so,qvacvdec.dll"},
    {"h264dec", "libqvacvdec.so,qvacvdec.dll,libqvah264dec.so,qvah264dec.dll"},
    {"mpeg4dec", "libqvampeg4dec.so,qvampeg4dec.dll"},
    {"mp4demux", "libqvamp4demux.so,qvamp4demux.dll"},
    {"asfdemux", "libqvaasfdemuxd.so,qvaasfdemuxd.dll,libqvaasfdemux.so,qvaasfdemux.dll"},
    {"avidemux", "libqvaavidemux.so,qvaavidemux.dll"},
    {"divxdemux", "libqvaavidemux2.so,libqvaavidemux.so,qvaavidemux2.dll,qvaavidemux.dll"},
    {"mpegdemux", "libqvamp2demux.so,qvamp2demux.dll"},
    {"mpeg2psdemux", "libqvamp2demux.so,qvamp2demux.dll"},
    {"mpeg2tsdemux", "libqvamp2demux.so,qvamp2demux.dll"},
    {"mpadec", "libqvampadec.so,qvampadec.dll"},
    {"mp3dec", "libqvampadec.so,libqvamp3fhgdec.so,qvampadec.dll,qvamp3fhgdec.dll"},
    {"audrend", "libqvaaudrend.so,qvaaudrend.dll"},
    {"aacdec", "libqvaaacdec.so,qvaaacdec.dll"},
    {"ac3dec", "libqvaac3dec.so,qvaac3dec.dll"},
    {"wmadec", "libqvawmadec.so,qvawmadec.dll"},
    {"pcmdec", "libqvapcmdec.so,qvapcmdec.dll"},
    {"oggdec", "libqvaoggdec.so,qvaoggdec.dll"},
    {"divxdec", "libqvadivxdec.so,qvadivxdec.dll,libqvampeg4dec.so,qvampeg4dec.dll"},
    {"filewriter", "libqvafilewriter.so,qvafilewriter.dll"},
    {"wavwriter", "libqvawavwriter.so,qvawavwriter.dll"},
    {"mp3enc", "libqvamp3enc.so,qvamp3enc.dll"},
    {"qvaaenc", "libqvaaenc.so,qvaaenc.dll"},
    {"qvavenc", "libqvavenc.so,qvavenc.dll"},
};

CatalogueEntry g_catalogue[kCatalogueRows];
bool g_catalogueReady = false;

CatalogueEntry MakeRow(const char* name, const char* libraries) {
  CatalogueEntry row{};
  row.id = kCatalogueBuiltInId;
  StrCopyN(row.name, name, sizeof row.name - 1);
  StrCopyN(row.libraries, libraries, sizeof row.libraries - 1);
  return row;
}

void FillBuiltIn() {
  for (uint32_t i = 0; i < kCatalogueBuiltInRows; ++i) g_catalogue[i] = MakeRow(kBuiltInRows[i].name, kBuiltInRows[i].libraries);
  g_catalogue[kCatalogueBuiltInRows] = MakeRow("", "End of list");
  for (uint32_t i = kCatalogueBuiltInRows + 1; i < kCatalogueRows; ++i) g_catalogue[i] = CatalogueEntry{};
  g_catalogueReady = true;
}

// The catalogue, filled on first use; call with the loader lock held.
CatalogueEntry* Catalogue() {
  if (!g_catalogueReady) FillBuiltIn();
  return g_catalogue;
}

uint32_t NamedRowCount() {
  uint32_t n = 0;
  while (n < kCatalogueRows && Catalogue()[n].name[0] != '\0') ++n;
  return n;
}

}  // namespace

QVAStatus CatalogueAddEntry(const CatalogueEntry* row) {
  if (row == nullptr || row->name[0] == '\0') return QVA_ERR_BADARG;
  std::lock_guard<std::recursive_mutex> lock(LoaderMutex());
  const uint32_t count = NamedRowCount();
  CatalogueEntry copy = *row;
  copy.name[sizeof copy.name - 1] = '\0';
  copy.path[sizeof copy.path - 1] = '\0';
  copy.libraries[sizeof copy.libraries - 1] = '\0';
  for (uint32_t i = 0; i < count; ++i) {
    if (StrCompareNoCase(Catalogue()[i].name, copy.name, -1) == 0) {
      Catalogue()[i] = copy;
      return QVA_SUCCESS;
    }
  }
  if (count == kCatalogueRows) return kCatalogueFull;
  Catalogue()[count] = copy;
  if (count + 1 < kCatalogueRows) {
    CatalogueEntry end{};
    end.id = kCatalogueBuiltInId;
    Catalogue()[count + 1] = end;
  }
  return QVA_SUCCESS;
}

const CatalogueEntry* CatalogueFindByName(const char* name) {
  if (name == nullptr || *name == '\0') return nullptr;
  std::lock_guard<std::recursive_mutex> lock(LoaderMutex());
  const uint32_t count = NamedRowCount();
  for (uint32_t i = 0; i < count; ++i) {
    if (StrCompareNoCase(Catalogue()[i].name, name, -1) == 0) return &Catalogue()[i];
  }
  return nullptr;
}

const CatalogueEntry* CatalogueFindById(uint32_t id) {
  std::lock_guard<std::recursive_mutex> lock(LoaderMutex());
  const uint32_t count = NamedRowCount();
  for (uint32_t i = 0; i < count; ++i) {
    if (Catalogue()[i].id == id) return &Catalogue()[i];
  }
  return nullptr;
}

const CatalogueEntry* CatalogueFind(const char* name) { return CatalogueFindByName(name); }

void CatalogueRestoreBuiltIn() {
  std::lock_guard<std::recursive_mutex> lock(LoaderMutex());
  FillBuiltIn();
}
