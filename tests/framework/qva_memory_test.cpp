#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "framework/qva_component.h"
#include "platform/heap.h"
#include "tests/framework/framework_probe.h"
#include "tests/framework/python_check.h"
#include "tests/support/test_paths.h"

namespace {

uint32_t TrailerAt(const void* p) {
  uint32_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

TEST(QvaMemory, BlocksAreAlignedAndFramedForEverySize) {
  std::mt19937 random(1234);
  std::uniform_int_distribution<uint32_t> sizes(0, 70000);
  for (int i = 0; i < 300; ++i) {
    const uint32_t size = i < 8 ? static_cast<uint32_t>(i) : sizes(random);
    auto* p = static_cast<unsigned char*>(QVAMalloc(size));
    ASSERT_NE(p, nullptr) << size;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u) << size;
    uint16_t mark;
    uint32_t storedSize;
    std::memcpy(&mark, p - 8, 2);
    std::memcpy(&storedSize, p - 4, 4);
    EXPECT_EQ(mark, kQVABlockMark);
    EXPECT_EQ(storedSize, size);
    EXPECT_EQ(TrailerAt(p + ((size + 3) & ~3u)), kQVATrailerLive) << size;
    std::memset(p, 0xA5, size);  // the whole size is usable
    EXPECT_EQ(QVACheckMem(p), QVA_MEM_LIVE);
    EXPECT_EQ(QVAFree(p), QVA_SUCCESS);
  }
}

TEST(QvaMemory, OverrunsDoubleReleasesAndForeignBlocksAreReported) {
  // Size 0: the trailer sits directly at p.
  auto* empty = static_cast<unsigned char*>(QVAMalloc(0));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(TrailerAt(empty), kQVATrailerLive);
  EXPECT_EQ(QVAFree(empty), QVA_SUCCESS);

  // Size 5: the trailer is at p + 8; p + 5 lies in the rounding gap.
  auto* five = static_cast<unsigned char*>(QVAMalloc(5));
  ASSERT_NE(five, nullptr);
  EXPECT_EQ(TrailerAt(five + 8), kQVATrailerLive);
  five[5] = 0x55;
  EXPECT_EQ(QVACheckMem(five), QVA_MEM_LIVE);
  const unsigned char saved = five[8];
  five[8] = 0;
  EXPECT_EQ(QVACheckMem(five), QVA_MEM_DAMAGED);
  EXPECT_EQ(QVAFree(five), QVA_ERR_BADBLOCK);
  five[8] = saved;  // repaired, so the block can go back to the heap
  EXPECT_EQ(QVAFree(five), QVA_SUCCESS);

  // Released twice: the second release is reported without touching the memory.
  void* twice = QVAMalloc(64);
  ASSERT_NE(twice, nullptr);
  EXPECT_EQ(QVAFree(twice), QVA_SUCCESS);
  EXPECT_EQ(QVACheckMem(twice), QVA_MEM_RELEASED);
  EXPECT_EQ(QVAFree(twice), QVA_ERR_BLOCKFREED);

  // Addresses this copy never handed out are answered without being read (a read would be
  // reported by AddressSanitizer: the headers would lie in redzones).
  alignas(16) unsigned char onStack[32] = {};
  EXPECT_EQ(QVACheckMem(onStack + 16), QVA_MEM_NOMARK);
  EXPECT_EQ(QVAFree(onStack + 16), QVA_ERR_BADBLOCK);
  void* fromMalloc = std::malloc(48);
  EXPECT_EQ(QVACheckMem(fromMalloc), QVA_MEM_NOMARK);
  EXPECT_EQ(QVAFree(fromMalloc), QVA_ERR_BADBLOCK);
  std::free(fromMalloc);

  orx::test::FrameworkProbe probe;
  ASSERT_TRUE(probe.Loaded()) << orx::test::FrameworkProbePath();
  void* foreign = probe.allocate(40);
  ASSERT_NE(foreign, nullptr);
  // The other copy's heap may hand out an address this copy released before and still
  // remembers (an earlier test's block): that address is answered as released, any other as
  // unmarked. Either way the block is not read and stays the other copy's.
  const uint32_t mark = QVACheckMem(foreign);
  EXPECT_TRUE(mark == QVA_MEM_NOMARK || mark == QVA_MEM_RELEASED) << mark;
  EXPECT_EQ(QVAFree(foreign), mark == QVA_MEM_RELEASED ? QVA_ERR_BLOCKFREED : QVA_ERR_BADBLOCK);
  EXPECT_EQ(probe.free(foreign), QVA_SUCCESS);
}

void* RefuseEverything(size_t) { return nullptr; }

TEST(QvaMemory, CountersFollowAScriptedSequence) {
  const QVAMemCounters before = QVAGetMemCounters();
  const uint32_t big = before.peakBytes + 4096;
  void* a = QVAMalloc(big);
  void* b = QVAMalloc(100);
  ASSERT_TRUE(a && b);
  QVAMemCounters now = QVAGetMemCounters();
  EXPECT_EQ(now.liveBytes, before.liveBytes + big + 100);
  EXPECT_EQ(now.peakBytes, now.liveBytes);
  EXPECT_EQ(now.allocations, before.allocations + 2);

  EXPECT_EQ(QVAFree(a), QVA_SUCCESS);
  EXPECT_EQ(QVAFree(a), QVA_ERR_BLOCKFREED);
  now = QVAGetMemCounters();
  EXPECT_EQ(now.liveBytes, before.liveBytes + 100);
  EXPECT_EQ(now.peakBytes, before.liveBytes + big + 100);
  EXPECT_EQ(now.releases, before.releases + 1);
  EXPECT_EQ(now.releaseErrors, before.releaseErrors + 1);

  auto previous = orx::platform::SetHeapAllocateHook(RefuseEverything);
  EXPECT_EQ(QVAMalloc(16), nullptr);
  orx::platform::SetHeapAllocateHook(previous);
  now = QVAGetMemCounters();
  EXPECT_EQ(now.failures, before.failures + 1);
  EXPECT_EQ(now.allocations, before.allocations + 2);

  EXPECT_EQ(QVAFree(b), QVA_SUCCESS);
  EXPECT_EQ(QVAGetMemCounters().liveBytes, before.liveBytes);
}

// Random bytes with a guard region on both sides, so every routine can be compared with the
// standard library at any offset.
std::vector<unsigned char> RandomBytes(std::mt19937& random, size_t n) {
  std::vector<unsigned char> bytes(n);
  for (auto& b : bytes) b = static_cast<unsigned char>(random());
  return bytes;
}

TEST(QvaMemory, RoutinesMatchTheStandardLibrary) {
  std::mt19937 random(99);
  std::uniform_int_distribution<size_t> sizes(0, 4096);
  std::uniform_int_distribution<size_t> offsets(0, 15);
  for (int round = 0; round < 400; ++round) {
    const size_t n = sizes(random);
    const size_t so = offsets(random);
    const size_t doff = round % 3 == 0 ? so : offsets(random);  // aligned pairs for the fast copy
    alignas(16) static unsigned char source[4096 + 64];
    alignas(16) static unsigned char mine[4096 + 64];
    alignas(16) static unsigned char theirs[4096 + 64];
    auto fill = RandomBytes(random, sizeof source);
    std::memcpy(source, fill.data(), sizeof source);
    auto base = RandomBytes(random, sizeof mine);

    std::memcpy(mine, base.data(), sizeof mine);
    std::memcpy(theirs, base.data(), sizeof theirs);
    QVAMemCpy(mine + doff, source + so, n);
    std::memcpy(theirs + doff, source + so, n);
    ASSERT_EQ(std::memcmp(mine, theirs, sizeof mine), 0) << "QVAMemCpy n=" << n;

    std::memcpy(mine, base.data(), sizeof mine);
    QVAMemCpyFast(mine + doff, source + so, n);
    ASSERT_EQ(std::memcmp(mine, theirs, sizeof mine), 0) << "QVAMemCpyFast n=" << n << " offsets " << so << "," << doff;

    std::memcpy(mine, base.data(), sizeof mine);
    std::memcpy(theirs, base.data(), sizeof theirs);
    const int value = static_cast<int>(random() & 0xFF);
    QVAMemSet(mine + doff, value, n);
    std::memset(theirs + doff, value, n);
    ASSERT_EQ(std::memcmp(mine, theirs, sizeof mine), 0) << "QVAMemSet n=" << n;

    std::memcpy(mine, source, sizeof mine);
    EXPECT_EQ(QVAMemCmp(mine + so, source + so, n), 0u);
    if (n > 0) {
      const size_t at = random() % n;
      mine[so + at] ^= 0x40;
      EXPECT_EQ(QVAMemCmp(mine + so, source + so, n), 1u) << "difference at " << at;
    }
  }
}

TEST(QvaMemory, MoveHandlesEveryOverlap) {
  std::mt19937 random(7);
  const long shifts[] = {-3, -2, -1, 0, 1, 2, 3, -700, 700, -4000, 4000};
  for (long shift : shifts) {
    for (size_t n : {size_t{0}, size_t{1}, size_t{7}, size_t{64}, size_t{1000}, size_t{3333}}) {
      auto buffer = RandomBytes(random, 16000);
      auto expected = buffer;
      const size_t from = 5000;
      const size_t to = static_cast<size_t>(static_cast<long>(from) + shift);
      std::memmove(expected.data() + to, expected.data() + from, n);
      QVAMemMove(buffer.data() + to, buffer.data() + from, n);
      ASSERT_EQ(buffer, expected) << "shift " << shift << " n " << n;
    }
  }
}

TEST(QvaMemory, ChecksumFoldsWholeWordsAtAnyAlignment) {
  alignas(16) unsigned char bytes[16] = {};
  const unsigned char pattern[8] = {1, 0, 0, 0, 2, 0, 0, 0};
  std::memcpy(bytes, pattern, 8);
  EXPECT_EQ(QVAChecksum(bytes, 8), 3u);
  std::memcpy(bytes + 5, pattern, 8);
  EXPECT_EQ(QVAChecksum(bytes + 5, 8), 3u);
  EXPECT_EQ(QVAChecksum(bytes, 3), 0u);  // a tail of less than a word does not count

  // Against an independent fold of a random file (with a 3-byte tail).
  std::mt19937 random(5);
  auto data = RandomBytes(random, 10003);
  const std::string path = orx::test::MakeTempDir("checksum") + "/data.bin";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
  const std::string folded = orx::test::RunPython(
      "import struct,sys\n"
      "d=open(sys.argv[1],'rb').read()\n"
      "s=0\n"
      "for (w,) in struct.iter_unpack('<I', d[:len(d)//4*4]): s^=w\n"
      "print(s)\n",
      {path});
  EXPECT_EQ(std::to_string(QVAChecksum(data.data(), data.size())) + "\n", folded);
}

TEST(QvaMemory, HexTextHasEightUpperCaseDigits) {
  const struct {
    uint32_t value;
    const char* text;
  } cases[] = {{0x00ABCDEF, "00ABCDEF"}, {0, "00000000"}, {0xFFFFFFFF, "FFFFFFFF"}};
  for (const auto& c : cases) {
    char text[9] = "xxxxxxxx";
    EXPECT_EQ(QVAFormatHex(c.value, text), 8u);
    EXPECT_STREQ(text, c.text);
    char id[9] = "xxxxxxxx";
    EXPECT_EQ(BufferQueue_FormatId(c.value, id, 32), 8u);
    EXPECT_STREQ(id, c.text);
  }
}

}  // namespace
