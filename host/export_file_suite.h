#pragma once
// The host's Export File suite: the output file object of an export. Open creates (or
// truncates) the file at its path (the export's staging file, see output_staging.h), Seek and Write go to it, Close closes it. A test setting
// makes the n-th write fail.
#include <cstdint>
#include <string>

#include "platform/host_sdk/suites.h"

namespace orx::host {

// Makes path the file behind a new file object; failWrite > 0 makes that write (counted from
// 1 over the object's life) answer -1.
host_sdk::FileObject NewExportFileObject(const std::string& path, int64_t failWrite = 0);
void ForgetExportFileObjects();

struct ExportFileStatistics {
  int64_t writes = 0;
  int64_t bytes = 0;
  int64_t seeks = 0;
  int opens = 0;
  int closes = 0;
  bool failed = false;  // a write answered -1
  int error = 0;        // errno of the last open or write that failed (0: the test's --fail-write)
  bool open = false;    // still open
};
ExportFileStatistics ExportFileStatisticsOf(host_sdk::FileObject file);

const host_sdk::ExportFileSuite* ExportFileSuiteTable();

}  // namespace orx::host
