// Checks of Standard MIDI Files and their length under the tempo map.
#include "platform/mci/smf.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/smf_writer.h"

namespace qel::mci {
namespace smf_test {

using test::SmfTrack;
using test::SmfWriter;

SmfCheck Check(std::vector<std::uint8_t> const& bytes, SmfInfo* out = nullptr) {
  SmfInfo info;
  SmfCheck const result = CheckSmf(bytes, info);
  if (out != nullptr) *out = info;
  return result;
}

TEST(SmfTest, LengthFollowsTempoEventsOfEveryTrack) {
  // Tempo track: 1 beat at 120 bpm, then 60 bpm from beat 1, then 240 bpm from beat 3.
  SmfWriter w(1, 96);
  w.AddTrack().Tempo(0, 500000).Tempo(96, 1000000).End(96);
  // A later track changes the tempo too, and is the longest (6 beats).
  SmfTrack& t = w.AddTrack(true);
  t.NoteOn(0, 0, 60).NoteOff(96, 0, 60).Tempo(192, 250000).NoteOn(0, 1, 64).NoteOff(288, 1, 64);
  t.End();
  SmfInfo info;
  ASSERT_EQ(Check(w.Bytes(), &info), SmfCheck::kOk);
  EXPECT_EQ(info.format, 1);
  EXPECT_EQ(info.tracks, 2);
  EXPECT_EQ(info.division, 96);
  // 0.5 s + 2 beats * 1 s + 3 beats * 0.25 s
  EXPECT_EQ(info.length_us, 3250000u);

  SmfWriter zero(0, 480);
  zero.AddTrack().NoteOn(0, 0, 60).NoteOff(960, 0, 60).End(0);
  ASSERT_EQ(Check(zero.Bytes(), &info), SmfCheck::kOk);
  EXPECT_EQ(info.length_us, 1000000u);  // the default 120 bpm
}

TEST(SmfTest, RunningStatusSysexAndForeignChunks) {
  SmfWriter w(0, 480);
  w.AddTrack(true)
      .Program(0, 2, 5)
      .Program(0, 2, 6)  // running status with one data byte
      .NoteOn(0, 2, 60)
      .NoteOn(10, 2, 62)
      .Raw({0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7})  // system exclusive
      .NoteOn(0, 2, 64)
      .End(470);
  std::vector<std::uint8_t> bytes = w.Bytes();
  ASSERT_EQ(Check(bytes), SmfCheck::kOk);
  // A chunk of another type before the track is skipped.
  std::vector<std::uint8_t> foreign(bytes.begin(), bytes.begin() + 14);
  foreign.insert(foreign.end(), {'X', 'f', 'o', 'o', 0, 0, 0, 2, 1, 2});
  foreign.insert(foreign.end(), bytes.begin() + 14, bytes.end());
  EXPECT_EQ(Check(foreign), SmfCheck::kOk);
  // Running status right after system exclusive is not allowed.
  SmfWriter bad(0, 480);
  bad.AddTrack().NoteOn(0, 0, 60).Raw({0x00, 0xF0, 0x01, 0xF7, 0x00, 0x40, 0x40}).End();
  EXPECT_EQ(Check(bad.Bytes()), SmfCheck::kDamaged);
}

TEST(SmfTest, DamagedFilesAreRejected) {
  SmfWriter w(1, 480);
  w.AddTrack().Tempo(0, 400000).End(0);
  w.AddTrack().NoteOn(0, 0, 60).NoteOff(480, 0, 60).End(0);
  std::vector<std::uint8_t> const good = w.Bytes();
  ASSERT_EQ(Check(good), SmfCheck::kOk);
  for (std::size_t n = 0; n < good.size(); ++n) {
    std::vector<std::uint8_t> cut(good.begin(), good.begin() + n);
    EXPECT_NE(Check(cut), SmfCheck::kOk) << "truncated to " << n;
  }
  EXPECT_EQ(Check({}), SmfCheck::kNotMidi);
  std::vector<std::uint8_t> const text = {'R', 'I', 'F', 'F', 0, 0, 0, 4, 'W', 'A', 'V', 'E'};
  EXPECT_EQ(Check(text), SmfCheck::kNotMidi);

  auto patched = [&](std::size_t at, std::uint8_t value) {
    std::vector<std::uint8_t> b = good;
    b[at] = value;
    return Check(b);
  };
  EXPECT_EQ(patched(7, 5), SmfCheck::kDamaged);      // header shorter than 6
  EXPECT_EQ(patched(9, 3), SmfCheck::kDamaged);      // format 3
  EXPECT_EQ(patched(11, 3), SmfCheck::kDamaged);     // 3 tracks announced, 2 present
  EXPECT_EQ(patched(11, 0), SmfCheck::kDamaged);     // no tracks
  EXPECT_EQ(patched(21, 0x40), SmfCheck::kDamaged);  // first track's length past the end
  EXPECT_EQ(patched(21, 3), SmfCheck::kDamaged);     // ... and cutting its tempo event
  EXPECT_EQ(patched(12, 0xE7), SmfCheck::kSmpteDivision);

  SmfWriter start(0, 480);
  start.AddTrack().Raw({0x00, 0x3C, 0x40}).End();  // running status at the start
  EXPECT_EQ(Check(start.Bytes()), SmfCheck::kDamaged);
  SmfWriter common(0, 480);
  common.AddTrack().Raw({0x00, 0xF2, 0x00, 0x00}).End();  // a song-position byte
  EXPECT_EQ(Check(common.Bytes()), SmfCheck::kDamaged);
  SmfWriter data(0, 480);
  data.AddTrack().Raw({0x00, 0x90, 0x3C, 0x80}).End();  // a status byte where data belongs
  EXPECT_EQ(Check(data.Bytes()), SmfCheck::kDamaged);
  SmfWriter number(0, 480);
  number.AddTrack().Raw({0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x90, 0x3C, 0x40});  // 5-byte delta
  EXPECT_EQ(Check(number.Bytes()), SmfCheck::kDamaged);
  SmfWriter tempo(0, 480);
  tempo.AddTrack().Meta(0, 0x51, {7, 0xA1}).End();  // tempo of two bytes
  EXPECT_EQ(Check(tempo.Bytes()), SmfCheck::kDamaged);
}

TEST(SmfTest, AbsurdTemposAndHugeTracks) {
  // Slowest tempo, largest deltas: far beyond a day.
  SmfWriter slow(0, 1);
  SmfTrack& t = slow.AddTrack();
  t.Tempo(0, 0xFFFFFF);
  for (int i = 0; i < 1000; ++i) t.NoteOn(0x0FFFFFFF, 0, 60);
  t.End();
  EXPECT_EQ(Check(slow.Bytes()), SmfCheck::kDamaged);
  // Tempo 0: everything at once, length 0.
  SmfWriter fast(0, 480);
  fast.AddTrack().Tempo(0, 0).NoteOn(1000000, 0, 60).End(1000000);
  SmfInfo info;
  ASSERT_EQ(Check(fast.Bytes(), &info), SmfCheck::kOk);
  EXPECT_EQ(info.length_us, 0u);

  // A million events in one track are checked in linear time.
  SmfWriter big(0, 480);
  SmfTrack& b = big.AddTrack(true);
  b.NoteOn(0, 0, 60);
  for (int i = 0; i < 1000000; ++i) b.Raw({0x01, 0x3C, static_cast<std::uint8_t>(i & 0x7F)});
  b.End();
  auto const start = std::chrono::steady_clock::now();
  ASSERT_EQ(Check(big.Bytes(), &info), SmfCheck::kOk);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(info.length_us, (1000000ull * 500000 + 240) / 480);  // to the nearest microsecond
}

}  // namespace smf_test
}  // namespace qel::mci
