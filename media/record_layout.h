#pragma once
// Checks that keep a shared record's byte layout: records copied between libraries or written
// to files keep the offsets the system defines.
#include <cstddef>

#define ORX_ASSERT_FIELD(record, field, offset) \
  static_assert(offsetof(record, field) == (offset), #record "::" #field " offset")
