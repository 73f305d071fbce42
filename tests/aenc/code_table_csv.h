#pragma once
// The standard's code tables kept as CSV (ORX_SHARED_DATA, else ../shared/data beside the
// tree), read row by row for the tests that compare our generated tables with them.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_paths.h"

namespace orx::test {

// The folder of one codec's tables, e.g. "aac" or "mp3".
inline std::string CodeTableDir(const std::string& codec) {
  const char* env = std::getenv("ORX_SHARED_DATA");
  return (env ? std::string(env) : SourceDir() + "/../shared/data") + "/" + codec;
}

// The rows of a CSV file after its header line, split at commas.
inline std::vector<std::vector<std::string>> ReadCodeTableCsv(const std::string& dir, const std::string& name) {
  std::ifstream file(dir + "/" + name);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  std::getline(file, line);  // header
  while (std::getline(file, line)) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    std::string field;
    while (std::getline(split, field, ',')) fields.push_back(field);
    rows.push_back(fields);
  }
  return rows;
}

}  // namespace orx::test
