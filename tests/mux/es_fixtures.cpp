#include "tests/mux/es_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::mux::test {
namespace {

using orx::test::RunProcess;

const std::string& FixtureDir() {
  static const std::string dir = orx::test::MakeTempDir("mux-fixtures");
  return dir;
}

struct ProbeRow {
  int64_t pos = -1;
  size_t size = 0;
};

std::vector<std::string> CsvLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) lines.push_back(line);
  return lines;
}

std::vector<std::string> CsvFields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  std::string field;
  while (std::getline(in, field, ',')) fields.push_back(field);
  return fields;
}

std::vector<ProbeRow> ProbePackets(const std::string& path) {
  auto result = RunProcess({"ffprobe", "-v", "error", "-show_entries", "packet=pos,size", "-of",
                            "csv=p=0", path});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  std::vector<ProbeRow> rows;
  for (const std::string& line : CsvLines(result.out)) {
    auto fields = CsvFields(line);
    if (fields.size() < 2) continue;
    // ffprobe prints the fields in its own order: size, then pos.
    ProbeRow row;
    row.size = std::stoul(fields[0]);
    row.pos = std::stoll(fields[1]);
    rows.push_back(row);
  }
  return rows;
}

// "25" or "30000/1001" as frames per second.
double RateValue(const std::string& rate) {
  const size_t slash = rate.find('/');
  return slash == std::string::npos ? std::stod(rate)
                                    : std::stod(rate.substr(0, slash)) / std::stod(rate.substr(slash + 1));
}

bool IsStartCode(const std::vector<uint8_t>& es, size_t i, uint8_t* code) {
  if (i + 4 > es.size() || es[i] != 0 || es[i + 1] != 0 || es[i + 2] != 1) return false;
  *code = es[i + 3];
  return true;
}

}  // namespace

std::string MakeEsFile(const std::string& name, const std::vector<std::string>& args) {
  static std::map<std::string, std::string> made;
  auto found = made.find(name);
  if (found != made.end()) return found->second;
  orx::test::RequireProgram("ffmpeg");
  const std::string path = FixtureDir() + "/" + name;
  std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-v", "error", "-y"};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.push_back(path);
  auto result = RunProcess(argv);
  EXPECT_EQ(result.exitCode, 0) << "ffmpeg failed to make " << name << ": " << result.err;
  made[name] = path;
  return path;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::vector<EsSample> SplitMpegVideo(const std::vector<uint8_t>& es, double frameRate) {
  std::vector<EsSample> samples;
  size_t sampleStart = 0;
  bool havePicture = false;
  int64_t picturesBeforeGop = 0;
  int64_t decoded = 0;
  int temporalReference = 0;
  int pictureType = 0;
  auto finish = [&](size_t end) {
    if (!havePicture) return;
    EsSample sample;
    sample.bytes.assign(es.begin() + static_cast<long>(sampleStart), es.begin() + static_cast<long>(end));
    sample.timeMs = std::llround((picturesBeforeGop + temporalReference) * 1000.0 / frameRate);
    sample.key = pictureType == 1;
    samples.push_back(std::move(sample));
    ++decoded;
    sampleStart = end;
    havePicture = false;
  };
  for (size_t i = 0; i + 4 <= es.size(); ++i) {
    uint8_t code;
    if (!IsStartCode(es, i, &code)) continue;
    if (code == 0xB3 || code == 0xB8) {
      finish(i);
      if (code == 0xB8) picturesBeforeGop = decoded;
    } else if (code == 0x00) {
      finish(i);
      if (i + 6 <= es.size()) {
        temporalReference = es[i + 4] << 2 | es[i + 5] >> 6;
        pictureType = (es[i + 5] >> 3) & 7;
      }
      havePicture = true;
    }
  }
  finish(es.size());
  return samples;
}

std::vector<EsSample> SplitVideoByProbe(const std::string& path, double frameRate) {
  const std::vector<uint8_t> es = ReadBytes(path);
  const std::vector<ProbeRow> packets = ProbePackets(path);
  auto frames = RunProcess({"ffprobe", "-v", "error", "-show_entries", "frame=pkt_pos,pict_type", "-of",
                            "csv=p=0", path});
  EXPECT_EQ(frames.exitCode, 0) << frames.err;
  std::map<int64_t, int64_t> displayIndexByPos;
  std::map<int64_t, char> typeByPos;
  int64_t index = 0;
  for (const std::string& line : CsvLines(frames.out)) {
    auto fields = CsvFields(line);
    if (fields.size() < 2) continue;
    const int64_t pos = std::stoll(fields[0]);
    displayIndexByPos[pos] = index++;
    typeByPos[pos] = fields[1].empty() ? '?' : fields[1][0];
  }
  std::vector<EsSample> samples;
  for (const ProbeRow& row : packets) {
    EsSample sample;
    sample.bytes.assign(es.begin() + row.pos, es.begin() + row.pos + static_cast<long>(row.size));
    auto found = displayIndexByPos.find(row.pos);
    EXPECT_NE(found, displayIndexByPos.end()) << "no decoded frame for the packet at " << row.pos;
    if (found != displayIndexByPos.end()) sample.timeMs = std::llround(found->second * 1000.0 / frameRate);
    sample.pictureType = typeByPos[row.pos];
    sample.key = sample.pictureType == 'I';
    samples.push_back(std::move(sample));
  }
  return samples;
}

std::vector<EsSample> SplitAudioByProbe(const std::string& path, double frameSeconds) {
  const std::vector<uint8_t> es = ReadBytes(path);
  std::vector<EsSample> samples;
  size_t covered = 0;
  for (const ProbeRow& row : ProbePackets(path)) {
    EsSample sample;
    sample.bytes.assign(es.begin() + row.pos, es.begin() + row.pos + static_cast<long>(row.size));
    sample.timeMs = std::llround(static_cast<double>(samples.size()) * frameSeconds * 1000.0);
    sample.key = true;
    covered += row.size;
    samples.push_back(std::move(sample));
  }
  EXPECT_EQ(covered, es.size()) << "ffprobe's packets do not cover " << path;
  return samples;
}

std::vector<EsSample> SplitPcm(const std::vector<uint8_t>& pcm, size_t bytes, uint32_t bytesPerSecond) {
  std::vector<EsSample> samples;
  for (size_t at = 0; at < pcm.size(); at += bytes) {
    EsSample sample;
    const size_t end = std::min(pcm.size(), at + bytes);
    sample.bytes.assign(pcm.begin() + static_cast<long>(at), pcm.begin() + static_cast<long>(end));
    sample.timeMs = std::llround(static_cast<double>(at) * 1000.0 / bytesPerSecond);
    sample.key = true;
    samples.push_back(std::move(sample));
  }
  return samples;
}

EsFixture Mpeg2Video(int width, int height, const std::string& rate, int frames,
                     const std::vector<std::string>& extraArgs) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  std::string name = "mpeg2-" + size + "-" + std::to_string(frames);
  for (const std::string& arg : extraArgs) name += arg;
  for (char& c : name)
    if (c == '/' || c == ':' || c == '=') c = '_';
  std::vector<std::string> args = {"-f", "lavfi", "-i", "testsrc2=size=" + size + ":rate=" + rate,
                                   "-frames:v", std::to_string(frames), "-c:v", "mpeg2video",
                                   "-g", "15", "-bf", "2", "-b:v", "5M", "-maxrate", "8M",
                                   "-bufsize", "1835k"};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  args.insert(args.end(), {"-f", "mpeg2video"});
  EsFixture fixture;
  fixture.path = MakeEsFile(name + ".m2v", args);
  fixture.bytes = ReadBytes(fixture.path);
  fixture.samples = SplitMpegVideo(fixture.bytes, RateValue(rate));
  return fixture;
}

EsFixture Mpeg1Video(int width, int height, const std::string& rate, int frames, const std::string& bitRate) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  EsFixture fixture;
  fixture.path = MakeEsFile("mpeg1-" + size + "-" + std::to_string(frames) + "-" + bitRate + ".m1v",
                            {"-f", "lavfi", "-i", "testsrc2=size=" + size + ":rate=" + rate, "-frames:v",
                             std::to_string(frames), "-c:v", "mpeg1video", "-g", "15", "-bf", "2", "-b:v",
                             bitRate, "-maxrate", bitRate, "-minrate", bitRate, "-bufsize", "327680",
                             "-f", "mpeg1video"});
  fixture.bytes = ReadBytes(fixture.path);
  fixture.samples = SplitMpegVideo(fixture.bytes, RateValue(rate));
  return fixture;
}

EsFixture Mp2Audio(int sampleRate, int bitRateK, double seconds) {
  EsFixture fixture;
  fixture.path = MakeEsFile("mp2-" + std::to_string(sampleRate) + "-" + std::to_string(bitRateK) + ".mp2",
                            {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=" + std::to_string(sampleRate),
                             "-ac", "2", "-t", std::to_string(seconds), "-c:a", "mp2", "-b:a",
                             std::to_string(bitRateK) + "k", "-f", "mp2"});
  fixture.bytes = ReadBytes(fixture.path);
  fixture.samples = SplitAudioByProbe(fixture.path, 1152.0 / sampleRate);
  return fixture;
}

EsFixture Ac3Audio(double seconds) {
  EsFixture fixture;
  fixture.path = MakeEsFile("audio.ac3", {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000", "-ac", "2",
                                          "-t", std::to_string(seconds), "-c:a", "ac3", "-b:a", "192k", "-f", "ac3"});
  fixture.bytes = ReadBytes(fixture.path);
  fixture.samples = SplitAudioByProbe(fixture.path, 1536.0 / 48000);
  return fixture;
}

EsFixture PcmAudioBigEndian(double seconds) {
  EsFixture fixture;
  fixture.path = MakeEsFile("audio-s16be.pcm", {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000", "-ac",
                                                "2", "-t", std::to_string(seconds), "-f", "s16be"});
  fixture.bytes = ReadBytes(fixture.path);
  fixture.samples = SplitPcm(fixture.bytes, 7680, 48000 * 4);
  return fixture;
}

}  // namespace orx::mux::test
