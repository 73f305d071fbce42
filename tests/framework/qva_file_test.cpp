#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "framework/qva_component.h"
#include "tests/framework/python_check.h"
#include "tests/support/test_paths.h"

namespace {

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// What Python reads from the file.
std::string PythonRead(const std::string& path) {
  return orx::test::RunPython("import sys\nsys.stdout.write(open(sys.argv[1],'rb').read().decode())", {path});
}

QVAStatus Write(QVAHandle file, const std::string& text) {
  uint32_t written = 0xFFFF;
  QVAStatus status = QVAWriteFile(file, text.data(), static_cast<uint32_t>(text.size()), &written);
  EXPECT_EQ(written, status == QVA_SUCCESS ? text.size() : written);
  return status;
}

TEST(QvaFiles, OpeningModesTruncateCreateAndAppendByPosition) {
  const std::string dir = orx::test::MakeTempDir("files");
  const struct {
    const char* name;
    bool existing;
    uint32_t truncate;
    const char* written;
    const char* expected;
  } cases[] = {
      {"truncate an existing file", true, 1, "new", "new"},
      {"create a missing file (truncate)", false, 1, "made", "made"},
      {"create a missing file (append)", false, 0, "made", "made"},
      {"append to an existing file", true, 0, "AB", "0123456789AB"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir + "/file" + std::to_string(n++);
    if (c.existing) WriteText(path, "0123456789");
    QVAHandle file = QVAOpenFileWrite(path.c_str(), c.truncate);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(Write(file, c.written), QVA_SUCCESS);
    EXPECT_EQ(QVACloseFile(file), QVA_SUCCESS);
    EXPECT_EQ(PythonRead(path), c.expected);
  }

  // Append is a position, not O_APPEND: a seek back overwrites, as the multiplexer patches headers.
  const std::string path = dir + "/patched";
  WriteText(path, "0123456789");
  QVAHandle file = QVAOpenFileWrite(path.c_str(), 0);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(Write(file, "AB"), QVA_SUCCESS);
  EXPECT_EQ(QVASeekFile(file, 2), QVA_SUCCESS);
  EXPECT_EQ(Write(file, "xy"), QVA_SUCCESS);
  uint64_t size = 0;
  EXPECT_EQ(QVAGetFileSize(file, &size), QVA_SUCCESS);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(QVAFilePrintf(file, "%s", std::string(700, 'z').c_str()), QVA_SUCCESS);
  EXPECT_EQ(QVAGetFileSize(file, &size), QVA_SUCCESS);
  EXPECT_EQ(size, 4u + 512u);  // written from position 4, cut at 512 characters
  QVACloseFile(file);
  EXPECT_EQ(PythonRead(path), "01xy" + std::string(512, 'z'));

  file = QVAOpenFileReadWrite(path.c_str());
  ASSERT_NE(file, nullptr);
  char text[5] = {};
  uint32_t got = 0;
  EXPECT_EQ(QVAReadFile(file, text, 4, &got), QVA_SUCCESS);
  EXPECT_EQ(got, 4u);
  EXPECT_STREQ(text, "01xy");
  QVACloseFile(file);
  EXPECT_EQ(QVAOpenFileRead((dir + "/missing").c_str()), nullptr);
  EXPECT_EQ(QVAOpenFileReadWrite((dir + "/missing").c_str()), nullptr);
  EXPECT_EQ(QVAOpenFileRead(nullptr), nullptr);
}

TEST(QvaFiles, FailuresAreReported) {
  QVAHandle full = QVAOpenFileWrite("/dev/full", 1);
  ASSERT_NE(full, nullptr);
  uint32_t written = 123;
  EXPECT_EQ(QVAWriteFile(full, "abcdef", 6, &written), QVA_ERR_WRITE);
  EXPECT_EQ(written, 0u);
  // A read on a file opened for writing fails.
  char byte;
  uint32_t got = 0;
  EXPECT_EQ(QVAReadFile(full, &byte, 1, &got), QVA_ERR_READ);
  EXPECT_EQ(QVASeekFile(full, 0x8000000000000000ull), QVA_ERR_READ);
  QVACloseFile(full);

  EXPECT_EQ(QVAWriteFile(nullptr, "a", 1, &written), QVA_ERR_UNSUPPORTED);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(QVAReadFile(nullptr, &byte, 1, &got), QVA_ERR_BADHANDLE);
  EXPECT_EQ(QVASeekFile(nullptr, 0), QVA_ERR_BADHANDLE);
  uint64_t size;
  EXPECT_EQ(QVAGetFileSize(nullptr, &size), QVA_ERR_BADHANDLE);
  EXPECT_EQ(QVACloseFile(nullptr), QVA_ERR_BADHANDLE);
}

TEST(QvaFiles, SeekUsesAllSixtyFourBits) {
  const std::string path = orx::test::MakeTempDir("files") + "/sparse";
  QVAHandle file = QVAOpenFileWrite(path.c_str(), 1);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(QVASeekFile(file, 0x100000000ull), QVA_SUCCESS);
  EXPECT_EQ(Write(file, "x"), QVA_SUCCESS);
  QVACloseFile(file);
  EXPECT_EQ(orx::test::RunPython("import os,sys\nprint(os.stat(sys.argv[1]).st_size)", {path}),
            std::to_string(0x100000001ull) + "\n");
}

TEST(QvaSharedMemory, NamedByTheHexIdAndReadableFromPython) {
  QVAHandle memory = QVACreateSharedMemory(0x00ABCDEF, 4096);
  ASSERT_NE(memory, nullptr);
  EXPECT_EQ(QVASharedMemSize(memory), 4096u);
  EXPECT_EQ(QVASharedMemId(memory), 0x00ABCDEFu);
  std::strcpy(static_cast<char*>(QVASharedMemPointer(memory, 100)), "shared words");
  EXPECT_EQ(orx::test::RunPython("import mmap\n"
                                 "f=open('/dev/shm/00ABCDEF','rb')\n"
                                 "m=mmap.mmap(f.fileno(),0,access=mmap.ACCESS_READ)\n"
                                 "print(m[100:112].decode())\n"),
            "shared words\n");

  QVAHandle opened = QVAOpenSharedMemory(0x00ABCDEF);
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(QVASharedMemSize(opened), 0u);
  EXPECT_STREQ(static_cast<char*>(QVASharedMemPointer(opened, 100)), "shared words");
  EXPECT_EQ(QVACloseSharedMemory(opened), QVA_SUCCESS);
  EXPECT_EQ(QVACloseSharedMemory(memory), QVA_SUCCESS);
  EXPECT_EQ(QVAOpenSharedMemory(0x00ABCDEF), nullptr);  // the creator took the name with it

  EXPECT_EQ(QVASharedMemPointer(nullptr, 0), nullptr);
  EXPECT_EQ(QVASharedMemSize(nullptr), 0u);
  EXPECT_EQ(QVASharedMemId(nullptr), 0u);
  EXPECT_EQ(QVACloseSharedMemory(nullptr), QVA_SUCCESS);
}

}  // namespace
