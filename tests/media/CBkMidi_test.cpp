// CBkMidi on the FluidSynth sequencer, observed through the WAV output and the message
// queue that stands in for the host's window.
#include "qelshare/CBkMidi.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <thread>

#include "media/mci_device.h"
#include "platform/mci/mci.h"
#include "platform/mci/notify.h"
#include "platform/mci/output.h"
#include "platform/mci/soundfont.h"
#include "support/smf_writer.h"
#include "support/temp_tree.h"

namespace cbkmidi_test {

using qel::testing::TempTree;

using namespace qel::mci;
using qel::test::SmfWriter;
using namespace std::chrono_literals;

HWND const kWindow = reinterpret_cast<HWND>(0x5EED);
HWND const kOtherWindow = reinterpret_cast<HWND>(0x5EEE);

// The device's position in milliseconds.
DWORD_PTR PositionMs(std::uint32_t id) {
  MCI_STATUS_PARMS p{};
  p.dwItem = MCI_STATUS_POSITION;
  EXPECT_EQ(SendCommand(id, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&p)), 0u);
  return p.dwReturn;
}

// Samples of a 16-bit stereo WAV file written by the device, left and right interleaved.
std::vector<std::int16_t> ReadWav(std::string const& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  if (bytes.size() < 44 || std::string(bytes.data(), 4) != "RIFF") return {};
  std::vector<std::int16_t> samples((bytes.size() - 44) / 2);
  std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 2);
  return samples;
}

// Loudest sample between two times, in seconds.
int Peak(std::vector<std::int16_t> const& s, double from, double to) {
  int peak = 0;
  auto const first = static_cast<std::size_t>(from * 44100) * 2;
  auto const last = std::min(s.size(), static_cast<std::size_t>(to * 44100) * 2);
  for (std::size_t i = first; i < last; ++i) peak = std::max(peak, std::abs(int{s[i]}));
  return peak;
}

// Time of the first sample louder than a whisper after `from` seconds.
double Onset(std::vector<std::int16_t> const& s, double from) {
  for (std::size_t i = static_cast<std::size_t>(from * 44100) * 2; i < s.size(); ++i) {
    if (std::abs(int{s[i]}) > 300) return static_cast<double>(i / 2) / 44100;
  }
  return -1;
}

class BkMidiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FindSoundFont()) GTEST_SKIP() << "no General MIDI SoundFont installed";
    SetWindowHandleHook(&QueueWindowHandle);
    SetOutput({Output::Kind::kWav, dir_.Path("out.wav")});
    DiscardPosted(kWindow);
  }
  void TearDown() override {
    SetOutput({});
    SetSoundFont({});
    unsetenv("QELSHARE_SOUNDFONT");
  }

  std::string Save(std::string const& name, SmfWriter const& w) {
    w.Save(dir_.Path(name));
    return dir_.Path(name);
  }
  // The next notification for the test window, or 0 when none comes in time.
  static std::optional<PostedMessage> Notified(std::chrono::milliseconds timeout = 10s) {
    return WaitPosted(kWindow, timeout);
  }

  TempTree dir_;
};

TEST_F(BkMidiTest, RenderedMusicFollowsTheTempoMap) {
  // 480 ticks per beat. Beat 0-1 at 120 bpm (0.5 s), then 60 bpm: note 2 at 1.5 s, then
  // 240 bpm from beat 3 (2.5 s): note 3 at beat 5 = 3.0 s; a rest until beat 7 = 3.5 s.
  SmfWriter w(1, 480);
  w.AddTrack().Tempo(0, 500000).Tempo(480, 1000000).Tempo(960, 250000).End(2400);
  w.AddTrack(true)
      .Program(0, 0, 0)
      .NoteOn(0, 0, 60)
      .NoteOff(240, 0, 60)
      .NoteOn(720, 0, 67)
      .NoteOff(240, 0, 67)
      .NoteOn(1200, 0, 72)
      .NoteOff(240, 0, 72)
      .End(720);
  CBkMidi midi;
  ASSERT_EQ(midi.Open(QueueWindow(kWindow), Save("tempo.mid", w).c_str()), 1);
  auto done = Notified();
  ASSERT_TRUE(done);
  EXPECT_EQ(done->wParam, MCI_NOTIFY_SUCCESSFUL);
  std::vector<std::int16_t> const s = ReadWav(dir_.Path("out.wav"));
  double const seconds = static_cast<double>(s.size() / 2) / 44100;
  EXPECT_GE(seconds, 3.5 * 0.99);
  EXPECT_LE(seconds, 3.5 * 1.01 + kMaxReleaseMs / 1000.0);
  EXPECT_NEAR(Onset(s, 0), 0.0, 0.03);
  EXPECT_NEAR(Onset(s, 1.3), 1.5, 0.03);
  EXPECT_NEAR(Onset(s, 2.8), 3.0, 0.03);
  // Sound where notes play, silence in the rests between their releases and the next note.
  EXPECT_GT(Peak(s, 0.05, 0.2), 300);
  EXPECT_GT(Peak(s, 1.55, 1.7), 300);
  EXPECT_LT(Peak(s, 1.0, 1.45), 50);
  EXPECT_LT(Peak(s, 2.3, 2.95), 50);
}

TEST_F(BkMidiTest, NotesHeldAtTheEndAreReleasedWithinTwoSeconds) {
  SmfWriter w(0, 480);
  w.AddTrack().Program(0, 0, 19).NoteOn(0, 0, 48).NoteOn(0, 0, 55).End(480);  // organ, held
  CBkMidi midi;
  ASSERT_EQ(midi.Open(QueueWindow(kWindow), Save("held.mid", w).c_str()), 1);
  ASSERT_TRUE(Notified());
  std::vector<std::int16_t> const s = ReadWav(dir_.Path("out.wav"));
  double const seconds = static_cast<double>(s.size() / 2) / 44100;
  EXPECT_GT(seconds, 0.5);
  EXPECT_LE(seconds, 0.5 + kMaxReleaseMs / 1000.0 + 0.01);
  EXPECT_GT(Peak(s, 0.1, 0.5), 300);
}

TEST_F(BkMidiTest, PauseAndPlayContinueFromTheSamePosition) {
  std::string const song = Save("long.mid", qel::test::LongSong(40));
  {
    CBkMidi whole;
    SetOutput({Output::Kind::kWav, dir_.Path("whole.wav")});
    ASSERT_EQ(whole.Open(QueueWindow(kWindow), song.c_str()), 1);
    ASSERT_TRUE(Notified(60s));
  }
  SetOutput({Output::Kind::kWav, dir_.Path("paused.wav")});
  CBkMidi midi;
  ASSERT_EQ(midi.Open(QueueWindow(kWindow), song.c_str()), 1);
  std::uint32_t const id = midi.m_pDevice->m_wDeviceID;
  auto position = [id] { return PositionMs(id); };
  std::this_thread::sleep_for(20ms);
  midi.Pause();
  EXPECT_EQ(midi.IsPlay(), 0);
  auto aborted = Notified();
  ASSERT_TRUE(aborted);
  EXPECT_EQ(aborted->wParam, MCI_NOTIFY_ABORTED);
  DWORD_PTR const held = position();
  EXPECT_GT(held, 0u);
  EXPECT_LT(held, 40000u);
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(position(), held);
  midi.Play();
  EXPECT_EQ(midi.IsPlay(), 1);
  auto done = Notified(60s);
  ASSERT_TRUE(done);
  EXPECT_EQ(done->wParam, MCI_NOTIFY_SUCCESSFUL);
  EXPECT_EQ(done->lParam, static_cast<LPARAM>(id));
  EXPECT_EQ(position(), 40000u);
  // The same music as without the pause: nothing skipped, nothing repeated (the samples
  // differ slightly with the state of the effects, so the loud and quiet moments are compared).
  std::vector<std::int16_t> const paused = ReadWav(dir_.Path("paused.wav"));
  std::vector<std::int16_t> const whole = ReadWav(dir_.Path("whole.wav"));
  ASSERT_EQ(paused.size(), whole.size());
  int differ = 0, windows = 0;
  for (double t = 0; t + 0.01 < static_cast<double>(whole.size() / 2) / 44100; t += 0.01) {
    ++windows;
    differ += (Peak(paused, t, t + 0.01) > 300) != (Peak(whole, t, t + 0.01) > 300);
  }
  EXPECT_LT(differ, windows / 50) << differ << " of " << windows << " windows differ";
  // At the end, Play finishes at once.
  midi.Play();
  auto again = Notified();
  ASSERT_TRUE(again);
  EXPECT_EQ(again->wParam, MCI_NOTIFY_SUCCESSFUL);
}

TEST_F(BkMidiTest, FreshObjectDoesNothingAndFlagsFollowCalls) {
  CBkMidi midi;
  midi.Stop();
  midi.Pause();
  midi.Play();
  midi.Close();
  EXPECT_EQ(midi.IsPlay(), 0);
  EXPECT_EQ(midi.m_pDevice, nullptr);
  EXPECT_FALSE(PeekPosted(kWindow));

  SetOutput({Output::Kind::kSilent, {}});
  ASSERT_EQ(midi.Open(QueueWindow(kWindow), Save("s.mid", qel::test::LongSong(30)).c_str()), 1);
  EXPECT_EQ(midi.IsPlay(), 1);
  midi.Stop();
  EXPECT_EQ(midi.IsPlay(), 0);
  EXPECT_EQ(Notified()->wParam, MCI_NOTIFY_ABORTED);
  midi.Play();
  EXPECT_EQ(midi.IsPlay(), 1);
  midi.Close();
  EXPECT_EQ(midi.IsPlay(), 0);
  EXPECT_EQ(Notified()->wParam, MCI_NOTIFY_SUPERSEDED);
  EXPECT_FALSE(PeekPosted(kWindow));
}

TEST_F(BkMidiTest, SecondOpenAndDestructionCloseTheDevice) {
  SetOutput({Output::Kind::kSilent, {}});
  std::string const song = Save("s.mid", qel::test::LongSong(30));
  std::uint32_t first = 0;
  std::uint32_t second = 0;
  {
    CBkMidi midi;
    ASSERT_EQ(midi.Open(QueueWindow(kWindow), song.c_str()), 1);
    first = midi.m_pDevice->m_wDeviceID;
    ASSERT_EQ(midi.Open(QueueWindow(kWindow), song.c_str()), 1);
    second = midi.m_pDevice->m_wDeviceID;
    auto superseded = Notified();
    ASSERT_TRUE(superseded);
    EXPECT_EQ(superseded->wParam, MCI_NOTIFY_SUPERSEDED);
    EXPECT_EQ(superseded->lParam, static_cast<LPARAM>(first));
    MCI_STATUS_PARMS p{};
    p.dwItem = MCI_STATUS_MODE;
    EXPECT_EQ(SendCommand(first, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&p)),
              first == second ? 0u : MCIERR_INVALID_DEVICE_ID);
    ASSERT_EQ(SendCommand(second, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&p)),
              0u);
    EXPECT_EQ(p.dwReturn, MCI_MODE_PLAY);
  }
  auto closed = Notified();
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->wParam, MCI_NOTIFY_SUPERSEDED);
  EXPECT_EQ(closed->lParam, static_cast<LPARAM>(second));
  MCI_STATUS_PARMS p{};
  p.dwItem = MCI_STATUS_MODE;
  EXPECT_EQ(SendCommand(second, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&p)),
            MCIERR_INVALID_DEVICE_ID);
  EXPECT_FALSE(PeekPosted(kWindow));
}

TEST_F(BkMidiTest, EndNotificationReachesTheWindowOnceInRealTime) {
  SetOutput({Output::Kind::kSilent, {}});
  SmfWriter w(0, 480);
  w.AddTrack().NoteOn(0, 0, 60).NoteOff(240, 0, 60).End(0);  // 0.25 s
  CBkMidi midi;
  auto const start = std::chrono::steady_clock::now();
  ASSERT_EQ(midi.Open(QueueWindow(kWindow), Save("short.mid", w).c_str()), 1);
  std::remove(dir_.Path("short.mid").c_str());  // a file that vanishes while playing
  auto done = Notified();
  auto const elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(done);
  EXPECT_EQ(done->message, MM_MCINOTIFY);
  EXPECT_EQ(done->wParam, MCI_NOTIFY_SUCCESSFUL);
  EXPECT_EQ(done->lParam, static_cast<LPARAM>(midi.m_pDevice->m_wDeviceID));
  EXPECT_GE(elapsed, 240ms);
  EXPECT_LT(elapsed, 2500ms);
  EXPECT_FALSE(Notified(200ms));
  EXPECT_EQ(midi.IsPlay(), 1);  // the end of the music leaves the flag alone
}

TEST_F(BkMidiTest, OpenFailuresReturnZeroAndKeepTheFlag) {
  SetOutput({Output::Kind::kSilent, {}});
  std::vector<std::uint8_t> const good = qel::test::LongSong(2).Bytes();
  std::string const truncated = dir_.File(
      "cut.mid", std::string_view(reinterpret_cast<char const*>(good.data()), good.size() - 5));
  std::string const text = dir_.File("text.mid", "This is not music.\n");
  mkdir(dir_.Path("folder.mid").c_str(), 0755);
  struct Case {
    std::string path;
    std::uint32_t error;
  };
  std::vector<Case> const cases = {{dir_.Path("none.mid"), MCIERR_FILE_NOT_FOUND},
                                   {truncated, MCIERR_INVALID_FILE},
                                   {text, MCIERR_INVALID_FILE},
                                   {dir_.Path("folder.mid"), MCIERR_FILE_READ}};
  for (int before : {0, 1}) {
    CBkMidi midi;
    if (before) {
      ASSERT_EQ(midi.Open(QueueWindow(kWindow), Save("ok.mid", qel::test::LongSong(30)).c_str()),
                1);
    }
    for (Case const& c : cases) {
      EXPECT_EQ(midi.Open(QueueWindow(kWindow), c.path.c_str()), 0) << c.path;
      EXPECT_EQ(midi.IsPlay(), before) << c.path;
      ASSERT_NE(midi.m_pDevice, nullptr);
      EXPECT_EQ(midi.m_pDevice->m_dwLastError, c.error) << c.path;
      EXPECT_EQ(midi.m_pDevice->m_wDeviceID, 0u);
    }
    EXPECT_EQ(midi.Open(QueueWindow(kWindow), nullptr), 0);
    midi.Close();
    EXPECT_EQ(midi.m_pDevice, nullptr);
  }
  DiscardPosted(kWindow);
}

TEST_F(BkMidiTest, ChosenSoundFontMustExistAndBeASoundFont) {
  SetOutput({Output::Kind::kSilent, {}});
  std::string const installed = *FindSoundFont();
  std::string const song = Save("ok.mid", qel::test::LongSong(1));
  std::string const missing = dir_.Path("no-such.sf2");
  std::string const wave = dir_.File("wave.sf2", std::string("RIFF\x24\0\0\0WAVEfmt ", 16));
  std::string const text = dir_.File("text.sf2", "not a SoundFont at all\n");
  mkdir(dir_.Path("folder.sf2").c_str(), 0755);
  struct Case {
    std::string environment;  // QELSHARE_SOUNDFONT, unset when empty
    std::string chosen;       // the host's choice, none when empty
    int opened;
  };
  std::vector<Case> const cases = {
      {missing, "", 0},                  // no such file
      {wave, "", 0},                     // a RIFF file of another form
      {text, "", 0},                     // no RIFF file at all
      {dir_.Path("folder.sf2"), "", 0},  // a folder
      {installed, "", 1},                // a SoundFont
      {"", "", 1},                       // no choice: the standard places
      {missing, installed, 1},           // the host's choice comes first
      {installed, missing, 0},           // and is the only one tried
  };
  for (Case const& c : cases) {
    SCOPED_TRACE("environment " + c.environment + ", chosen " + c.chosen);
    if (c.environment.empty()) {
      unsetenv("QELSHARE_SOUNDFONT");
    } else {
      setenv("QELSHARE_SOUNDFONT", c.environment.c_str(), 1);
    }
    SetSoundFont(c.chosen);
    CBkMidi midi;
    EXPECT_EQ(midi.Open(QueueWindow(kWindow), song.c_str()), c.opened);
    EXPECT_EQ(midi.IsPlay(), c.opened);
    ASSERT_NE(midi.m_pDevice, nullptr);
    EXPECT_EQ(midi.m_pDevice->m_dwLastError, c.opened ? 0u : MCIERR_SEQ_NOMIDIPRESENT);
  }
  DiscardPosted(kWindow);
}

TEST_F(BkMidiTest, PauseOrStopHoldsTheRestOfTheMusicInRealTime) {
  // The silent output keeps real time, as a sound card would.
  SetOutput({Output::Kind::kSilent, {}});
  SmfWriter w(0, 480);
  w.AddTrack().Tempo(0, 500000).End(1152);  // 1.2 s at 120 bpm, nothing left sounding
  std::string const song = Save("rest.mid", w);
  DiscardPosted(kOtherWindow);
  struct Outcome {
    bool opened = false;
    std::optional<PostedMessage> held;
    DWORD_PTR held_at = 0;
    DWORD_PTR still_at = 0;
    std::optional<PostedMessage> done;
    std::chrono::milliseconds took{};
  };
  // Pause at 0.5 s, wait 1.3 s, Play: the rest of the music takes what it had left.
  auto run = [&song](HWND window, void (CBkMidi::*hold)()) {
    Outcome o;
    CBkMidi midi;
    o.opened = midi.Open(QueueWindow(window), song.c_str()) == 1;
    if (!o.opened) return o;
    std::uint32_t const id = midi.m_pDevice->m_wDeviceID;
    std::this_thread::sleep_for(500ms);
    (midi.*hold)();
    o.held = WaitPosted(window, 1s);
    o.held_at = PositionMs(id);
    std::this_thread::sleep_for(1300ms);
    o.still_at = PositionMs(id);
    auto const played = std::chrono::steady_clock::now();
    midi.Play();
    o.done = WaitPosted(window, 10s);
    o.took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - played);
    return o;
  };
  // Side by side, each on its own window, to wait once for both.
  auto paused = std::async(std::launch::async, run, kWindow, &CBkMidi::Pause);
  auto stopped = std::async(std::launch::async, run, kOtherWindow, &CBkMidi::Stop);
  for (auto [name, o] : {std::pair{"Pause", paused.get()}, std::pair{"Stop", stopped.get()}}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(o.opened);
    ASSERT_TRUE(o.held);
    EXPECT_EQ(o.held->wParam, MCI_NOTIFY_ABORTED);
    EXPECT_GT(o.held_at, 300u);
    EXPECT_LT(o.held_at, 800u);
    EXPECT_EQ(o.still_at, o.held_at);
    ASSERT_TRUE(o.done);
    EXPECT_EQ(o.done->wParam, MCI_NOTIFY_SUCCESSFUL);
    auto const rest = std::chrono::milliseconds(1200 - static_cast<std::int64_t>(o.held_at));
    EXPECT_GE(o.took, rest - 100ms);
    EXPECT_LE(o.took, rest + 300ms);
  }
  EXPECT_FALSE(PeekPosted(kWindow));
  EXPECT_FALSE(PeekPosted(kOtherWindow));
}

}  // namespace cbkmidi_test
