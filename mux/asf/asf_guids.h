#pragma once
// The GUIDs of the ASF objects and type fields the writer uses, as the 16 bytes a file holds
// (first three groups little-endian). Generated from the ASF table by scripts/gen-asf-guids.py.
#include <cstddef>
#include <cstdint>

namespace orx::mux {

struct AsfGuid {
  uint8_t bytes[16];
};

extern const AsfGuid kAsfHeaderObject;
extern const AsfGuid kAsfDataObject;
extern const AsfGuid kAsfSimpleIndexObject;
extern const AsfGuid kAsfFilePropertiesObject;
extern const AsfGuid kAsfStreamPropertiesObject;
extern const AsfGuid kAsfHeaderExtensionObject;
extern const AsfGuid kAsfAudioMedia;
extern const AsfGuid kAsfVideoMedia;
extern const AsfGuid kAsfNoErrorCorrection;
extern const AsfGuid kAsfAudioSpread;
extern const AsfGuid kAsfReserved1;
extern const AsfGuid kAsfExtendedStreamPropertiesObject;
extern const AsfGuid kAsfMetadataObject;
extern const AsfGuid kAsfLanguageListObject;

// Every constant above with its name in the table, for the test against the CSV.
struct AsfNamedGuid {
  const char* name;
  const AsfGuid* guid;
};
inline constexpr size_t kAsfGuidCount = 14;
extern const AsfNamedGuid kAsfGuidTable[kAsfGuidCount];

}  // namespace orx::mux
