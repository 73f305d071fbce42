#pragma once
// The output of one export is written beside its final name and moved into place only when the
// export succeeded: a failed, cancelled or signalled export never touches a file that already
// bears the output's name.
//
// The staging file is a hidden, unique name in the output's folder that keeps the output's
// extension (".clip.orx-Ab12Cd.mpg" for "clip.mpg"). The plug-in's own files of a two-pass
// export are named after the path it is given (the stem with "tmp" or the audio side file's
// extension), so they sit beside the staging file under its stem; on success each moves to the
// output's stem with its extension kept, on failure each is removed.
#include <string>
#include <vector>

namespace orx::host {

class OutputStaging {
 public:
  OutputStaging() = default;
  ~OutputStaging();
  OutputStaging(const OutputStaging&) = delete;
  OutputStaging& operator=(const OutputStaging&) = delete;

  // Refuses an output that exists and is not a regular file, and creates the staging file.
  // False with error set (naming the path and the reason) when either fails.
  bool Prepare(const std::string& output, std::string& error);
  const std::string& stagingPath() const { return staging_; }

  // Moves the staging file and the files beside it into place. False with error set when a
  // move fails (the staging files are then removed and any earlier output stays).
  bool Commit(std::string& error);
  // Removes the staging file and the files beside it. Idempotent.
  void Discard();

 private:
  // Files in the output's folder that the export made beside the staging file (the staging
  // file itself not included).
  std::vector<std::string> StagedSiblings() const;

  std::string output_;
  std::string folder_;       // the output's folder, ending in '/' ("" for the working folder)
  std::string outputStem_;   // the output's name without its extension
  std::string stagingStem_;  // the staging file's name without its extension
  std::string staging_;
  bool active_ = false;
};

// Removes the staging files of the export in progress from a signal handler (only calls that
// are safe there). Does nothing when no export is staged.
void DiscardStagedOutputFromSignal();

}  // namespace orx::host
