// Files written and read past the page cache: every byte comes back whatever the sizes
// and offsets, on file systems that refuse O_DIRECT too, and a failed write is reported.
#include "platform/fs/uncached_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <istream>
#include <ostream>
#include <string>

#include "platform/fs/durable.h"
#include "support/temp_tree.h"

namespace qel::fs {
namespace uncached_file_test {

// Bytes that tell their offset, so that a block out of place shows.
std::string Pattern(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed) >> 3);
  return bytes;
}

std::string WriteAndRead(std::string const& path, std::string const& bytes) {
  UncachedWriter writer;
  EXPECT_TRUE(writer.Open(path)) << path;
  std::ostream out(&writer);
  // In uneven pieces, so that buffers fill across the writes.
  for (std::size_t at = 0, piece = 1; at < bytes.size(); at += piece, piece = piece * 3 + 1) {
    out.write(bytes.data() + at, static_cast<std::streamsize>(std::min(piece, bytes.size() - at)));
  }
  EXPECT_TRUE(writer.Close()) << path;
  UncachedReader reader;
  EXPECT_TRUE(reader.Open(path)) << path;
  std::istream in(&reader);
  std::string back(std::istreambuf_iterator<char>(in), {});
  EXPECT_FALSE(reader.failed());
  return back;
}

TEST(UncachedFile, EveryByteComesBackOnDiskAndOnFileSystemsThatRefuse) {
  testing::TempTree dir;
  std::vector<std::string> folders = {dir.root()};
  // tmpfs refuses O_DIRECT: the cache serves there.
  if (std::filesystem::is_directory("/dev/shm") && access("/dev/shm", W_OK) == 0) {
    folders.push_back("/dev/shm");
  }
  for (std::string const& folder : folders) {
    std::string path = folder + "/uncached." + std::to_string(getpid());
    for (std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{4095}, std::size_t{4096}, std::size_t{4097},
          (std::size_t{1} << 20) - 1, std::size_t{1} << 20, (std::size_t{3} << 20) + 123}) {
      std::string bytes = Pattern(size, static_cast<unsigned>(size));
      EXPECT_EQ(WriteAndRead(path, bytes), bytes) << folder << " " << size;
      // The tail written through the cache leaves the file its exact size.
      EXPECT_EQ(std::filesystem::file_size(path), size);
    }
    std::filesystem::remove(path);
  }
}

TEST(UncachedFile, DurableContentPastTheCacheFromUnalignedOffsetsAndAfterSeeks) {
  testing::TempTree dir;
  std::string target = dir.File("index.bin", "old");
  std::string head = Pattern(100, 1), body = Pattern((std::size_t{2} << 20) + 17, 2);
  DurableFile f;
  ASSERT_TRUE(f.Open(target));
  ASSERT_TRUE(f.Write(head));  // through the buffer, then past the cache from offset 100
  f.WriteUncached();
  ASSERT_TRUE(f.Write(body));
  ASSERT_TRUE(f.Seek(4090));  // a header filled in last, across a block's end
  ASSERT_TRUE(f.Write("0123456789"));
  ASSERT_TRUE(f.Seek(head.size() + body.size()));
  ASSERT_TRUE(f.Write("tail"));
  ASSERT_TRUE(f.Commit()) << f.error();
  std::string expected = head + body + "tail";
  expected.replace(4090, 10, "0123456789");
  EXPECT_EQ(dir.Read("index.bin"), expected);
  EXPECT_EQ(dir.List(), std::vector<std::string>{"index.bin"});
}

TEST(UncachedFile, AWriteThatFailsIsReported) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  UncachedWriter writer;
  ASSERT_TRUE(writer.Open("/dev/full"));
  std::ostream out(&writer);
  std::string bytes = Pattern(std::size_t{3} << 20, 3);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  EXPECT_FALSE(out);
  EXPECT_FALSE(writer.Close());

  UncachedReader reader;
  EXPECT_FALSE(reader.Open(std::filesystem::temp_directory_path().string() + "/no/such/file"));
}

}  // namespace uncached_file_test
}  // namespace qel::fs
