// The sequencer's command surface: device types, identifiers, flags and the notifications
// of commands other than play.
#include "platform/mci/mci.h"

#include <gtest/gtest.h>

#include "platform/mci/notify.h"
#include "platform/mci/output.h"
#include "platform/mci/soundfont.h"
#include "support/smf_writer.h"
#include "support/temp_tree.h"

namespace qel::mci {
namespace mci_test {

using qel::testing::TempTree;

DWORD_PTR Block(auto& parms) {
  return reinterpret_cast<DWORD_PTR>(&parms);
}

TEST(MciTest, CommandsCheckTheirDeviceFlagsAndParameters) {
  if (!FindSoundFont()) GTEST_SKIP() << "no General MIDI SoundFont installed";
  TempTree dir;
  std::string const song = dir.Path("s.mid");
  test::LongSong(5).Save(song);
  SetOutput({Output::Kind::kSilent, {}});
  HWND const window = reinterpret_cast<HWND>(0x7A11);
  DiscardPosted(window);

  MCI_OPEN_PARMSA open{};
  open.dwCallback = reinterpret_cast<DWORD_PTR>(window);
  open.lpstrDeviceType = reinterpret_cast<char const*>(DWORD_PTR{0x20A});  // wave audio
  open.lpstrElementName = song.c_str();
  DWORD const flags = MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT;
  EXPECT_EQ(SendCommand(0, MCI_OPEN, flags, Block(open)), MCIERR_INVALID_DEVICE_NAME);
  EXPECT_EQ(SendCommand(0, MCI_OPEN, flags, 0), MCIERR_NULL_PARAMETER_BLOCK);
  open.lpstrDeviceType = "sequencer";
  EXPECT_EQ(SendCommand(0, MCI_OPEN, MCI_OPEN_TYPE, Block(open)), MCIERR_FILENAME_REQUIRED);
  ASSERT_EQ(SendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_NOTIFY, Block(open)),
            0u);
  MCIDEVICEID const id = open.wDeviceID;
  EXPECT_NE(id, 0u);
  auto opened = WaitPosted(window, std::chrono::seconds(1));
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened->wParam, MCI_NOTIFY_SUCCESSFUL);
  EXPECT_EQ(opened->lParam, static_cast<LPARAM>(id));

  MCI_STATUS_PARMS status{};
  status.dwItem = MCI_STATUS_LENGTH;
  ASSERT_EQ(SendCommand(id, MCI_STATUS, MCI_STATUS_ITEM, Block(status)), 0u);
  EXPECT_EQ(status.dwReturn, 5000u);
  status.dwItem = MCI_STATUS_MODE;
  ASSERT_EQ(SendCommand(id, MCI_STATUS, MCI_STATUS_ITEM, Block(status)), 0u);
  EXPECT_EQ(status.dwReturn, MCI_MODE_STOP);  // opened, not yet playing

  MCI_SET_PARMS set{};
  set.dwTimeFormat = 3;  // frames
  EXPECT_EQ(SendCommand(id, MCI_SET, MCI_SET_TIME_FORMAT, Block(set)), MCIERR_BAD_TIME_FORMAT);
  MCI_PLAY_PARMS play{};
  play.dwCallback = reinterpret_cast<DWORD_PTR>(window);
  EXPECT_EQ(SendCommand(id, MCI_PLAY, MCI_FROM, Block(play)), MCIERR_UNSUPPORTED_FUNCTION);
  EXPECT_EQ(SendCommand(id, 0x899, 0, 0), MCIERR_UNRECOGNIZED_COMMAND);
  EXPECT_EQ(SendCommand(id + 1, MCI_PLAY, 0, Block(play)), MCIERR_INVALID_DEVICE_ID);
  EXPECT_FALSE(PeekPosted(window));

  // A second play with notification supersedes the first; pause aborts the second.
  ASSERT_EQ(SendCommand(id, MCI_PLAY, MCI_NOTIFY, Block(play)), 0u);
  ASSERT_EQ(SendCommand(id, MCI_PLAY, MCI_NOTIFY, Block(play)), 0u);
  EXPECT_EQ(WaitPosted(window, std::chrono::seconds(1))->wParam, MCI_NOTIFY_SUPERSEDED);
  ASSERT_EQ(SendCommand(id, MCI_PAUSE, 0, 0), 0u);
  EXPECT_EQ(WaitPosted(window, std::chrono::seconds(1))->wParam, MCI_NOTIFY_ABORTED);
  status.dwItem = MCI_STATUS_MODE;
  SendCommand(id, MCI_STATUS, MCI_STATUS_ITEM, Block(status));
  EXPECT_EQ(status.dwReturn, MCI_MODE_PAUSE);
  ASSERT_EQ(SendCommand(id, MCI_RESUME, 0, 0), 0u);
  SendCommand(id, MCI_STATUS, MCI_STATUS_ITEM, Block(status));
  EXPECT_EQ(status.dwReturn, MCI_MODE_PLAY);

  MCI_GENERIC_PARMS close{reinterpret_cast<DWORD_PTR>(window)};
  ASSERT_EQ(SendCommand(id, MCI_CLOSE, MCI_NOTIFY, Block(close)), 0u);
  EXPECT_EQ(WaitPosted(window, std::chrono::seconds(1))->wParam, MCI_NOTIFY_SUCCESSFUL);
  EXPECT_EQ(SendCommand(id, MCI_CLOSE, 0, 0), MCIERR_INVALID_DEVICE_ID);
  EXPECT_FALSE(PeekPosted(window));
  EXPECT_NE(ErrorText(MCIERR_FILE_NOT_FOUND), ErrorText(MCIERR_INVALID_FILE));
  SetOutput({});
}

}  // namespace mci_test
}  // namespace qel::mci
