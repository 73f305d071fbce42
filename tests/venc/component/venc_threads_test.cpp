// Several encoder instances of libqvavenc.so in one process, each on its own worker thread: four
// streams encoded at once are each the stream a lone instance writes.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "media/media_params.h"
#include "tests/venc/component/source_video.h"
#include "tests/venc/component/venc_host.h"

namespace orx::venc::test {
namespace {

constexpr int kInstances = 4;
constexpr int kFrames = 10;

TEST(VencThreads, FourInstancesWriteWhatEachWritesAlone) {
  VencLibrary library;
  ASSERT_TRUE(library.Loaded()) << library.Error();
  // Four different streams: their own pictures (tree at four offsets) and anchor distances.
  const SourceVideo source = TreeSource(352, 288, kInstances * kFrames);
  std::vector<std::vector<std::vector<uint8_t>>> frames(kInstances);
  for (int s = 0; s < kInstances; ++s) {
    for (int i = 0; i < kFrames; ++i) frames[s].push_back(source.Frame(s * kFrames + i));
  }
  std::vector<std::vector<uint8_t>> alone(kInstances);
  for (int s = 0; s < kInstances; ++s) {
    alone[s] = EncodeThroughHost(library, CifEncode(1 + s % 3, 2000000), frames[s]).stream;
    ASSERT_FALSE(alone[s].empty());
  }
  std::vector<HostResult> together(kInstances);
  std::vector<std::thread> threads;
  for (int s = 0; s < kInstances; ++s) {
    threads.emplace_back([&, s] { together[s] = EncodeThroughHost(library, CifEncode(1 + s % 3, 2000000), frames[s]); });
  }
  for (std::thread& t : threads) t.join();
  for (int s = 0; s < kInstances; ++s) {
    EXPECT_TRUE(together[s].ended) << s;
    EXPECT_TRUE(together[s].errors.empty()) << s;
    EXPECT_TRUE(together[s].stream == alone[s]) << "instance " << s;
  }
}

// Control calls on the caller's thread while the worker encodes: the stored records are read and
// written under the instance's lock, and the stream is the one without the calls.
TEST(VencThreads, ControlCallsWhileEncoding) {
  VencLibrary library;
  ASSERT_TRUE(library.Loaded()) << library.Error();
  const SourceVideo source = TreeSource(352, 288, kFrames);
  std::vector<std::vector<uint8_t>> frames;
  for (int i = 0; i < kFrames; ++i) frames.push_back(source.Frame(i));
  const HostEncode setup = CifEncode(3, 2000000);
  const std::vector<uint8_t> quiet = EncodeThroughHost(library, setup, frames).stream;

  VencRun run(library);
  ASSERT_EQ(run.CreateAndStart(setup), QVA_SUCCESS);
  std::atomic<bool> done{false};
  std::thread control([&] {
    ComponentInstance* c = run.instance;
    while (!done.load()) {
      VideoMediaType format{};
      format.size = sizeof format;
      c->methods.QVAComp_GetFormat(c, 1, 0, &format);
      c->methods.QVAComp_GetFormat(c, 0, 0, &format);
      VideoEncoderParams params{};
      c->methods.QVAComp_GetParam(c, QVA_PARAM_VIDEOENCODER, &params, sizeof params);
      c->methods.QVAComp_SetParam(c, QVA_PARAM_VIDEOENCODER, &params, sizeof params);
      VideoMediaType input = setup.input;
      c->methods.QVAComp_SetFormat(c, 0, 0, &input);
    }
  });
  for (int i = 0; i < kFrames; ++i) run.PushFrame(frames[i].data(), frames[i].size(), 40 * static_cast<uint64_t>(i));
  run.PushMarker(QVA_MARKER_EOI);
  EXPECT_TRUE(run.sink.WaitForEnd());
  done.store(true);
  control.join();
  run.EndAndRelease();
  EXPECT_TRUE(run.sink.Stream() == quiet);
}

}  // namespace
}  // namespace orx::venc::test
