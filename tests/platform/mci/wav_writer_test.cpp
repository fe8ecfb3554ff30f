// The WAV writer: a whole file with its sizes in the header, and the old file left whole
// after a failure at any write.
#include "platform/mci/wav_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/temp_tree.h"
#include "support/write_faults.h"

namespace qel::mci {
namespace wav_writer_test {

std::uint32_t U32(std::string const& s, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, s.data() + at, 4);
  return v;
}

TEST(WavWriter, WritesSizesAndLeavesTheOldFileAfterAFailureAtAnyWrite) {
  testing::TempTree dir;
  std::string path = dir.File("song.wav", "old render");
  std::vector<float> left(300000, 0.5f), right(300000, -0.5f);  // more than one buffer
  int failed = testing::FailEveryCall(
      [&] {
        WavWriter wav(path, 44100);
        return wav.ok() && wav.Write(left, right) && wav.Finish();
      },
      [&](bool failed, std::string const& label) {
        EXPECT_EQ(dir.List(), std::vector<std::string>{"song.wav"}) << label;
        std::string now = dir.Read("song.wav");
        if (failed && !label.starts_with("sync")) {
          EXPECT_EQ(now, "old render") << label;
        }
        if (!failed) {
          ASSERT_EQ(now.size(), 44u + 300000u * 4) << label;
          EXPECT_EQ(now.substr(0, 4), "RIFF");
          EXPECT_EQ(U32(now, 4), now.size() - 8);
          EXPECT_EQ(U32(now, 40), 300000u * 4);
          std::int16_t first;
          std::memcpy(&first, now.data() + 44, 2);
          EXPECT_EQ(first, 16384);
        }
        dir.File("song.wav", "old render");
      });
  EXPECT_GE(failed, 5);
  // A render abandoned before Finish leaves the old file and nothing beside it.
  {
    WavWriter wav(path, 44100);
    ASSERT_TRUE(wav.ok());
    ASSERT_TRUE(wav.Write(left, right));
  }
  EXPECT_EQ(dir.List(), std::vector<std::string>{"song.wav"});
  EXPECT_EQ(dir.Read("song.wav"), "old render");
}

}  // namespace wav_writer_test
}  // namespace qel::mci
