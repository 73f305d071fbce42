#include "tests/support/cpuinfo_flags.h"

#include <fstream>
#include <sstream>

namespace orx::test {

std::set<std::string> ProcCpuinfoFlags() {
  std::ifstream info("/proc/cpuinfo");
  std::string line;
  while (std::getline(info, line)) {
    if (line.rfind("flags", 0) != 0) continue;
    std::istringstream words(line.substr(line.find(':') + 1));
    std::set<std::string> flags;
    std::string flag;
    while (words >> flag) flags.insert(flag);
    return flags;
  }
  return {};
}

}  // namespace orx::test
