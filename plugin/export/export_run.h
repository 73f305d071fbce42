#pragma once
// The export selector: one export of the host's sequence to one output file, in one pass or
// in two (the video into the output file, then the audio into a side file beside it).
#include <cstdint>
#include <string>

#include "platform/host_sdk/entry.h"
#include "platform/host_sdk/records.h"
#include "plugin/params/export_choices.h"

namespace orx::plugin {

// Selector 9. 0 for a finished export; the progress suite's answer for a cancelled one (or one
// the host stopped); 0x80000000 without the Sequence Render suite; 0x80030001 when the engine
// could not be created; kResultExportFailed when a pass lost output or could not run.
int32_t Exporter_Export(host_sdk::StandardParameters* standard, host_sdk::ExportRecord* record);

// True when the export runs twice: video and audio exported, and the container is the
// elementary one (0), or, for the Blu-ray types, anything but the program stream (1).
bool ExportTakesTwoPasses(uint32_t fileType, ContainerChoice container, bool video, bool audio);

// The extension of the audio side file by audio codec value: pcm, mpa, mp3, wma, aac, raw.
const char* SideFileExtension(AudioCodecChoice audioCodec);
// The output path with the extension of its file name (after its last '.') replaced, or
// with ".extension" appended when the file name has none.
std::string ReplaceFileExtension(const std::string& path, const char* extension);

// Moves a file into place: on "access denied" or "file exists" the target is removed and the
// move tried once more. 0, or the errno of the failed move.
int MoveFileIntoPlace(const std::string& from, const std::string& to);

}  // namespace orx::plugin
