#pragma once
// Two text routines of the settings code that nothing in the system calls: a "name|value|..."
// list lookup and an extension replacement.
#include <cstddef>

namespace orx::plugin {

// The 1-based position among the names (items 1, 3, 5, ...) of the first name containing name;
// 1 for an empty list, one past the last name when none matches. The list is read up to 511
// characters.
int FindListEntry(const char* list, const char* name);

// Replaces what follows the path's last '.' (appends one when there is none) by extension.
// size: the destination's room in bytes; 0 (path unchanged) when the result would not fit.
int ReplaceExtension(char* path, size_t size, const char* extension);

}  // namespace orx::plugin
