// The QuickTime file of an export (x264 High profile with B pictures and AAC, written through
// qvacmux.so) played by headless Chromium: no media error, playback advances, the picture has
// the source's size, and the thumbnail drawn after 1.5 s is a picture of the source near that
// time.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "tests/mux/mp4_file_checks.h"
#include "tests/mux/mp4_fixtures.h"
#include "tests/support/orx_test.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::mux::test {
namespace {

using orx::test::RunProcess;

constexpr int kCells = 32 * 24;

// The source's pictures first to last, 32x24 area-scaled, as grey (BT.601 weights of RGB).
std::vector<std::vector<double>> SourceThumbnails(const char* source, int first, int last) {
  const std::string filter = "select=between(n\\," + std::to_string(first) + "\\," + std::to_string(last) +
                             "),scale=32:24:flags=area,format=rgb24";
  auto result = RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", source, "-vf", filter,
                            "-frames:v", std::to_string(last - first + 1), "-f", "rawvideo", "-"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  std::vector<std::vector<double>> thumbnails;
  for (size_t at = 0; at + 3 * kCells <= result.out.size(); at += 3 * kCells) {
    std::vector<double> grey;
    for (int i = 0; i < kCells; ++i) {
      const auto* rgb = reinterpret_cast<const uint8_t*>(result.out.data() + at + 3 * i);
      grey.push_back(0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2]);
    }
    thumbnails.push_back(std::move(grey));
  }
  return thumbnails;
}

double Psnr(const std::vector<double>& a, const std::vector<double>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
  const double mse = std::max(sum / kCells, 1e-9);
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

TEST(Mp4Browser, ChromiumPlaysTheQuickTimeFile) {
  ORX_RELEASE_ONLY();
  const std::string chromium = orx::test::RequireProgram("chromium");
  ASSERT_FALSE(chromium.empty()) << "chromium is missing: install it (packages.txt lists it)";
  const H264Options options{.frames = 75};
  const H264Stream video = MakeH264Stream(options);
  const AacStream audio = MakeAacStream(48000, 2, 128, options.frames / video.frameRate);
  MuxLibrary library;
  MuxSink sink;
  ComponentResult result;
  RunComponent(library, MakeMp4ComponentRun(&video, false, &audio), sink, result);
  ASSERT_EQ(result.errorStatus, 0);
  const std::string dir = orx::test::MakeTempDir("mp4-browser");
  ASSERT_TRUE(WriteBytes(dir + "/out.mov", sink.Bytes()));

  const std::string script = orx::test::SourceDir() + "/tests/mux/browser/play_in_browser.py";
  auto played = RunProcess({"python3", script, dir, "out.mov", chromium, "90"});
  ASSERT_EQ(played.exitCode, 0) << played.out << played.err;
  std::istringstream report(played.out);
  std::string key;
  double currentTime = 0;
  int width = 0, height = 0;
  std::vector<double> grey;
  while (report >> key) {
    if (key == "currentTime") {
      report >> currentTime;
    } else if (key == "size") {
      report >> width >> height;
    } else if (key == "grey") {
      double value;
      while (report >> value) grey.push_back(value);
    }
  }
  EXPECT_GT(currentTime, 1.5) << "playback did not advance";
  EXPECT_EQ(width, 720);
  EXPECT_EQ(height, 480);
  ASSERT_EQ(grey.size(), static_cast<size_t>(kCells));

  // currentTime is read just after the picture is drawn, and a loaded machine lets playback
  // run on a few pictures meanwhile: the best match among the pictures up to floor(t x rate)
  // must be one past 1.5 s, at least 30 dB, and better than its neighbours.
  const int at = static_cast<int>(std::floor(currentTime * video.frameRate + 1e-6));
  const int first = std::max(at - 6, 0);
  const auto thumbnails = SourceThumbnails("testsrc2=size=720x480:rate=30000/1001", first, at + 1);
  ASSERT_EQ(thumbnails.size(), static_cast<size_t>(at + 2 - first));
  size_t best = 0;
  std::vector<double> psnr;
  for (size_t i = 0; i < thumbnails.size(); ++i) {
    psnr.push_back(Psnr(grey, thumbnails[i]));
    if (psnr[i] > psnr[best]) best = i;
  }
  std::ostringstream table;
  for (size_t i = 0; i < psnr.size(); ++i) table << " " << first + static_cast<int>(i) << ":" << psnr[i];
  EXPECT_GE(psnr[best], 30.0) << "PSNR by picture:" << table.str();
  EXPECT_GE((first + static_cast<int>(best)) / video.frameRate, 1.5 - 0.5 / video.frameRate)
      << "PSNR by picture:" << table.str();
  EXPECT_LE(first + static_cast<int>(best), at + 1) << "PSNR by picture:" << table.str();
  if (best > 0) {
    EXPECT_GT(psnr[best], psnr[best - 1]);
  }
  if (best + 1 < psnr.size()) {
    EXPECT_GT(psnr[best], psnr[best + 1]);
  }
  RecordProperty("psnr_by_picture", table.str());
  std::printf("currentTime %.3f, picture %d; PSNR by picture:%s\n", currentTime, at, table.str().c_str());
}

}  // namespace
}  // namespace orx::mux::test
