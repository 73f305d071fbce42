#pragma once
// Symbols are hidden by default; this marks the few that a library or executable exports.
#define ORX_EXPORT __attribute__((visibility("default")))
