#pragma once
// Folder and file names in the engine's texts. Paths are joined with "/"; both "/" and "\"
// are read as separators.
#include <cstdint>
#include <string>
#include <string_view>

// Splits a path at the start of text (after white space): an optional drive "X:", then path
// characters (letters, digits, "\", "/", ".", "_", "(", ")", "-", bytes of UTF-8 sequences,
// and blanks when spacesAllowed). dir is everything up to and including the last separator
// (the drive included; without a separator, a leading run of "."), name the rest, ext what
// follows the first "." of the name. Any output may be null. Answers the characters consumed.
uint32_t SplitPath(const char* text, std::string* dir, std::string* name, std::string* ext, bool spacesAllowed);

// dir + "/" + name, with no separator doubled; name alone for an empty dir, dir alone for an
// empty name.
std::string JoinPath(std::string_view dir, std::string_view name);

// The system's own names that start with a single "\" ("\qvatengine.cfg", the default log
// names) mean the root of the current drive: they resolve against the current working folder,
// with their other backslashes read as "/". A name starting with "/" is an absolute path and
// any other name is relative; both are kept as they are.
std::string ResolveRootRelativePath(std::string_view text);
