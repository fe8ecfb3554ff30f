// The end-of-play notification of CBkMidi reaching a real window of the floor: the device
// posts from its own thread, the message arrives through Qt's event queue, once.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/mci/mci.h"
#include "platform/mci/output.h"
#include "platform/mci/soundfont.h"
#include "qelshare/CBkMidi.h"
#include "support/smf_writer.h"
#include "support/temp_tree.h"
#include "support/window_host.h"

namespace midi_notify_test {

using qel::testing::TempTree;

using namespace std::chrono_literals;

class MidiHost : public qel::testing::HostWindow {
 public:
  std::vector<qel::testing::Message> notifications;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == MM_MCINOTIFY) notifications.push_back({message, wParam, lParam});
    return HostWindow::WindowProc(message, wParam, lParam);
  }
};

TEST(MidiNotifyTest, EndOfPlayReachesTheHostWindowOnceThroughItsEventQueue) {
  if (!qel::mci::FindSoundFont()) GTEST_SKIP() << "no General MIDI SoundFont installed";
  TempTree dir;
  qel::mci::SetOutput({qel::mci::Output::Kind::kWav, dir.Path("out.wav")});
  qel::test::SmfWriter song(0, 480);
  song.AddTrack(true).Program(0, 0, 0).NoteOn(0, 0, 60).NoteOff(240, 0, 60).End(0);
  song.Save(dir.Path("short.mid"));

  MidiHost host;
  {
    CBkMidi midi;
    ASSERT_EQ(midi.Open(&host, dir.Path("short.mid").c_str()), 1);
    // Rendering to the WAV file takes a moment; nothing arrives without the event loop.
    auto const deadline = std::chrono::steady_clock::now() + 10s;
    while (host.notifications.empty() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(10ms);
      qel::testing::HostWindow::Pump();
    }
    for (int i = 0; i < 20; ++i) {
      std::this_thread::sleep_for(10ms);
      qel::testing::HostWindow::Pump();
    }
  }
  qel::mci::SetOutput({});
  ASSERT_EQ(host.notifications.size(), 1u);
  EXPECT_EQ(host.notifications[0].wParam, WPARAM{qel::mci::MCI_NOTIFY_SUCCESSFUL});
  EXPECT_NE(host.notifications[0].lParam, 0);
}

}  // namespace midi_notify_test
