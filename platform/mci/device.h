// One open sequencer device: a song, its play state, its pending notification and the
// output that pulls its sound (the system's sound card, a silent real-time clock, or a WAV
// file rendered as fast as possible).
#ifndef QELSHARE_PLATFORM_MCI_DEVICE_H_
#define QELSHARE_PLATFORM_MCI_DEVICE_H_

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/mci/mci.h"
#include "platform/mci/output.h"
#include "platform/mci/song.h"
#include "platform/mci/wav_writer.h"
#include "qelshare/types.h"

typedef struct _fluid_audio_driver_t fluid_audio_driver_t;

namespace qel::mci {

class Device {
 public:
  enum class Mode { kStopped, kPlaying, kPaused };

  // A stopped device at the start of song, sending its sound to output.
  Device(MCIDEVICEID id, std::unique_ptr<Song> song, Output const& output);
  // Closes the device.
  ~Device();
  Device(Device const&) = delete;
  Device& operator=(Device const&) = delete;

  // Plays from the current position; with notify, the end (or what replaces this play) is
  // posted to notify. With wait, returns when the play is over.
  MCIERROR Play(HWND notify, bool has_notify, bool wait);
  // Holds the position; a pending notification is aborted.
  MCIERROR Hold(Mode mode);
  // Stops the output; a pending notification is superseded.
  void Close();

  // False when the output could not start (a WAV file that cannot be created).
  bool ready() const { return ready_; }
  Mode mode();
  // Position and length in milliseconds.
  std::uint32_t PositionMs();
  std::uint32_t LengthMs();

 private:
  // Renders the next frames while playing; the count rendered (0 when not playing). At the
  // end of the music the device stops and *ended is set.
  std::size_t Pull(std::span<float> left, std::span<float> right, bool* ended);
  // Posts the end of a play: code to the window waiting for it, if any.
  void Complete(DWORD code);
  void RunClock();
  void RunWav();
  static int AudioCallback(void* data, int len, int nfx, float* fx[], int nout, float* out[]);

  MCIDEVICEID const id_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::unique_ptr<Song> song_;
  Mode mode_ = Mode::kStopped;
  bool pending_ = false;  // a play with notification is under way
  HWND notify_ = nullptr;
  bool ending_ = false;  // the music has ended and its output is finishing
  HWND ending_notify_ = nullptr;
  bool ending_has_notify_ = false;
  bool closing_ = false;
  std::unique_ptr<WavWriter> wav_;
  bool ready_ = true;
  std::thread worker_;
  fluid_audio_driver_t* driver_ = nullptr;
};

}  // namespace qel::mci

#endif  // QELSHARE_PLATFORM_MCI_DEVICE_H_
