// The MCI device of CBkMidi: one sequencer device, its notification window and its last
// error; each operation is one command sent to the media device floor.
#ifndef QELSHARE_MEDIA_MCI_DEVICE_H_
#define QELSHARE_MEDIA_MCI_DEVICE_H_

#include <cstdint>

#include "qelshare/types.h"

class CWnd;

namespace qel::media {

class MciDevice {
 public:
  MciDevice() = default;
  // Closes the device when it is still open.
  ~MciDevice();
  MciDevice(MciDevice const&) = delete;
  MciDevice& operator=(MciDevice const&) = delete;

  // Opens path on the sequencer, not shareable; on success m_wDeviceID names the device.
  // Returns 0 or the error code.
  std::uint32_t OpenSequencer(char const* path);
  // Closes the device. Returns 0 or the error code.
  std::uint32_t Close();
  // Sets the time format (0: milliseconds). Returns 0 or the error code.
  std::uint32_t SetTimeFormat(std::uint32_t format);
  // Plays from the current position to the end, notifying m_hCallback when asked.
  std::uint32_t Play(bool notify);
  std::uint32_t Stop();
  std::uint32_t Pause();
  // Notifications go to window's handle (null: none).
  void SetCallbackWindow(CWnd* window);

  std::uint32_t m_wDeviceID = 0;    // the open device, 0 before
  HWND m_hCallback = nullptr;       // window notified of the end of a play
  std::uint32_t m_dwLastError = 0;  // last nonzero error code

 private:
  // Sends one command; stores a nonzero result in m_dwLastError and returns it.
  std::uint32_t Send(std::uint32_t command, std::uint32_t flags, void* params);
};

}  // namespace qel::media

#endif  // QELSHARE_MEDIA_MCI_DEVICE_H_
