// Mapped files read in place and in pieces: the reads a search makes instead of touching
// the mapping, and what a file changed underneath is told.
#include "platform/fs/mapped_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/temp_tree.h"

namespace qel::fs {
namespace mapped_file_test {

TEST(MappedFile, ReadsPiecesAsTheMappingHoldsThem) {
  testing::TempTree dir;
  std::string content;
  for (int i = 0; i < 20000; ++i) content += static_cast<char>('a' + i % 26);
  std::string path = dir.File("data.bin", content);
  MappedFile file;
  std::string error;
  ASSERT_TRUE(file.Open(path, error)) << error;
  ASSERT_EQ(file.bytes(), content);

  std::string text;
  ASSERT_TRUE(file.ReadAt(9000, 300, text));
  EXPECT_EQ(text, content.substr(9000, 300));
  char four[4];
  ASSERT_TRUE(file.ReadAt(19996, four));
  EXPECT_EQ(std::string(four, 4), content.substr(19996));

  // A buffer grows to a larger read and keeps its bytes where they are when it shrinks or
  // moves; a read past the end leaves it empty.
  ReadBuffer buffer;
  ASSERT_TRUE(file.ReadAt(100, 5000, buffer));
  EXPECT_EQ(buffer.view(), content.substr(100, 5000));
  char const* where = buffer.view().data();
  ASSERT_TRUE(file.ReadAt(7, 10, buffer));
  EXPECT_EQ(buffer.view(), content.substr(7, 10));
  EXPECT_EQ(buffer.view().data(), where);
  ReadBuffer moved = std::move(buffer);
  EXPECT_EQ(moved.view().data(), where);
  EXPECT_FALSE(file.ReadAt(19990, 11, moved));
  EXPECT_EQ(moved.size(), 0u);
  EXPECT_FALSE(file.ReadAt(20001, 0, text));
  EXPECT_TRUE(file.ReadAt(20000, 0, text));

  // Letting pages go keeps the bytes readable through the mapping.
  file.ReadAtRandom();
  file.Forget(4096, 8192);
  file.Forget(19999, 100);
  EXPECT_EQ(file.bytes().substr(4000, 9000), content.substr(4000, 9000));
  EXPECT_TRUE(file.Unchanged());
  std::ofstream(path, std::ios::app) << "more";
  EXPECT_FALSE(file.Unchanged());
}

}  // namespace mapped_file_test
}  // namespace qel::fs
