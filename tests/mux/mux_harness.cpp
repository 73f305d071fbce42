#include "tests/mux/mux_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "mux/core/multiplexer.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::mux::test {

using orx::test::RunProcess;

uint8_t* MemoryBitStream::GetBuffer(uint32_t size) {
  if (buffer_.size() < std::max(size, kMinBitStreamBuffer)) buffer_.resize(std::max(size, kMinBitStreamBuffer));
  return buffer_.data();
}

uint8_t* MemoryBitStream::Write(MuxWriteDesc* desc, uint32_t count) {
  writes.push_back(*desc);
  if (count == 0) {
    segments.emplace_back();
    return buffer_.data();
  }
  std::vector<uint8_t>& out = segments.back();
  if (desc->kind == kWriteSeekThenWrite) {
    const size_t at = static_cast<size_t>(desc->position);
    if (out.size() < at + count) out.resize(at + count);
    std::memcpy(out.data() + at, desc->data, count);
  } else {
    out.insert(out.end(), desc->data, desc->data + count);
  }
  return buffer_.data();
}

bool FeedMultiplexer(IMultiplexer& mux, const std::vector<EsSample>* video, const std::vector<EsSample>* audio) {
  const std::vector<EsSample>* lists[2] = {audio, video};  // by stream id
  size_t next[2] = {0, 0};
  bool ended[2] = {audio == nullptr, video == nullptr};
  for (int guard = 0; guard < 10000000; ++guard) {
    if (ended[0] && ended[1]) return true;
    uint32_t stream = mux.NextStream();
    if (ended[kStreamVideo] && !ended[kStreamAudio]) stream = kStreamAudio;
    if (!ended[kStreamVideo] && ended[kStreamAudio]) stream = kStreamVideo;
    if (stream == kStreamNone) stream = !ended[kStreamVideo] ? kStreamVideo : kStreamAudio;
    const std::vector<EsSample>& list = *lists[stream];
    MuxSampleDesc sample;
    if (next[stream] >= list.size()) {
      sample.flags = kSampleEndOfStream;
      mux.Write(stream, &sample);
      ended[stream] = true;
      continue;
    }
    const EsSample& es = list[next[stream]];
    sample.data = es.bytes.data();
    sample.length = static_cast<uint32_t>(es.bytes.size());
    sample.flags = (es.timed ? uint32_t{kSampleTimeValid} : 0u) | (es.key ? uint32_t{kSamplePictureStart} : 0u);
    sample.time = static_cast<double>(es.timeMs) / 1000.0;
    if (mux.Write(stream, &sample) >= sample.length) ++next[stream];
  }
  ADD_FAILURE() << "the multiplexer stopped taking samples";
  return false;
}

bool RunCore(const CoreRun& run, MemoryBitStream& out) {
  IMultiplexer* mux = NewMultiplexer();
  MuxVideoFormat videoFormat = run.videoFormat;
  MuxAudioFormat audioFormat = run.audioFormat;
  MuxConfig config;
  config.videoPresent = run.video != nullptr;
  config.audioPresent = run.audio != nullptr;
  config.muxType = run.muxType;
  config.bitStream = &out;
  config.maxFileSize = run.maxFileSize;
  config.audioClass = run.audioClass;
  config.audioFormat = &audioFormat;
  config.videoCodecHint = run.codecHint;
  config.videoFormat = &videoFormat;
  bool ok = mux->Open(&config);
  if (ok) ok = FeedMultiplexer(*mux, run.video, run.audio);
  mux->Close();
  mux->Release();
  return ok;
}

ProgramStreamWalk WalkProgramStream(const std::vector<uint8_t>& bytes, size_t packSize) {
  ProgramStreamWalk walk;
  uint64_t lastScr = 0;
  for (size_t at = 0; at + 4 <= bytes.size(); at += packSize) {
    const uint8_t* p = bytes.data() + at;
    ++walk.packs;
    if (!(p[0] == 0 && p[1] == 0 && p[2] == 1 && p[3] == 0xBA)) {
      walk.everyPackStartsWithBa = false;
      continue;
    }
    const bool mpeg2 = (p[4] & 0xC0) == 0x40;
    uint64_t scr;
    size_t header;
    uint32_t rate;
    if (mpeg2) {
      const uint64_t base = (static_cast<uint64_t>(p[4] >> 3) & 7) << 30 | static_cast<uint64_t>(p[4] & 3) << 28 |
                            static_cast<uint64_t>(p[5]) << 20 | static_cast<uint64_t>(p[6] >> 3) << 15 |
                            static_cast<uint64_t>(p[6] & 3) << 13 | static_cast<uint64_t>(p[7]) << 5 | p[8] >> 3;
      scr = base * 300 + ((p[8] & 3u) << 7 | p[9] >> 1);
      rate = (p[10] << 14 | p[11] << 6 | p[12] >> 2) * 50u;
      header = 14 + (p[13] & 7);
    } else {
      scr = ((static_cast<uint64_t>(p[4] >> 1) & 7) << 30 | static_cast<uint64_t>(p[5]) << 22 |
             static_cast<uint64_t>(p[6] >> 1) << 15 | static_cast<uint64_t>(p[7]) << 7 | p[8] >> 1) *
            300;
      rate = ((p[9] & 0x7F) << 15 | p[10] << 7 | p[11] >> 1) * 50u;
      header = 12;
    }
    if (walk.packs == 1) walk.muxRate = rate;
    if (scr < lastScr) walk.scrNeverDecreases = false;
    lastScr = scr;
    walk.scr27MHz.push_back(scr);
    const uint8_t* s = p + header;
    if (walk.packs == 1 && s[0] == 0 && s[1] == 0 && s[2] == 1 && s[3] == 0xBB) {
      walk.firstPackHasSystemHeader = true;
      const size_t length = s[4] << 8 | s[5];
      walk.systemRateBound = ((s[6] & 0x7F) << 15 | s[7] << 7 | s[8] >> 1) * 50u;
      walk.firstSystemHeaderEntries.assign(s + 12, s + 6 + length);
    }
    for (size_t i = at; i + 4 <= std::min(bytes.size(), at + packSize); ++i)
      if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1 && bytes[i + 3] == 0xB9) ++walk.endCodes;
  }
  return walk;
}

std::vector<uint8_t> CopyStream(const std::string& path, const std::string& map, const std::string& format) {
  std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", map, "-c", "copy"};
  // The MP3 writer would add its own tags.
  if (format == "mp3") args.insert(args.end(), {"-id3v2_version", "0", "-write_xing", "0"});
  args.insert(args.end(), {"-f", format, "-"});
  auto result = RunProcess(args);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return std::vector<uint8_t>(result.out.begin(), result.out.end());
}

std::string DecodeErrors(const std::string& path) {
  auto result = RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-xerror", "-i", path, "-f", "null", "-"});
  return result.err + (result.exitCode != 0 ? "exit " + std::to_string(result.exitCode) : "");
}

std::vector<double> ProbePacketPts(const std::string& path, const std::string& stream) {
  auto result = RunProcess({"ffprobe", "-v", "error", "-select_streams", stream, "-show_entries",
                            "packet=pts_time", "-of", "csv=p=0", path});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  std::vector<double> pts;
  std::istringstream in(result.out);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty() && line != "N/A") pts.push_back(std::stod(line) * 1000.0);
  return pts;
}

double ProbeStreamSeconds(const std::string& path, const std::string& stream) {
  auto result = RunProcess({"ffprobe", "-v", "error", "-select_streams", stream, "-show_entries",
                            "packet=pts_time,duration_time", "-of", "csv=p=0", path});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  double first = 0, end = 0;
  bool any = false;
  std::istringstream in(result.out);
  std::string line;
  while (std::getline(in, line)) {
    const size_t comma = line.find(',');
    if (comma == std::string::npos || line.compare(0, 3, "N/A") == 0) continue;
    const double pts = std::stod(line.substr(0, comma));
    const double duration = line.compare(comma + 1, 3, "N/A") == 0 ? 0 : std::stod(line.substr(comma + 1));
    first = any ? std::min(first, pts) : pts;
    end = any ? std::max(end, pts + duration) : pts + duration;
    any = true;
  }
  return end - first;
}

std::string DvdauthorErrors(const std::string& path, const std::string& videoFormat) {
  if (orx::test::RequireProgram("dvdauthor").empty()) return "dvdauthor is missing";
  const std::string dir = orx::test::MakeTempDir("dvdauthor");
  orx::test::ProcessOptions options;
  options.setEnv["VIDEO_FORMAT"] = videoFormat;
  auto title = RunProcess({"dvdauthor", "-o", dir + "/dvd", "-t", path}, options);
  auto toc = RunProcess({"dvdauthor", "-o", dir + "/dvd", "-T"}, options);
  std::string errors;
  for (const std::string* text : {&title.out, &title.err, &toc.out, &toc.err}) {
    std::istringstream in(*text);
    std::string line;
    while (std::getline(in, line))
      if (line.find("ERR:") != std::string::npos) errors += line + "\n";
  }
  if (title.exitCode != 0) errors += "dvdauthor -t exit " + std::to_string(title.exitCode) + "\n";
  if (toc.exitCode != 0) errors += "dvdauthor -T exit " + std::to_string(toc.exitCode) + "\n";
  return errors;
}

std::vector<uint8_t> Concatenate(const std::vector<EsSample>& samples) {
  std::vector<uint8_t> out;
  for (const EsSample& sample : samples) out.insert(out.end(), sample.bytes.begin(), sample.bytes.end());
  return out;
}

}  // namespace orx::mux::test
