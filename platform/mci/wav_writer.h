// A 16-bit stereo PCM WAV file written durably beside its final name (a system path) and
// put in place only when complete, so a failed or abandoned render leaves nothing behind
// and the old file whole.
#ifndef QELSHARE_PLATFORM_MCI_WAV_WRITER_H_
#define QELSHARE_PLATFORM_MCI_WAV_WRITER_H_

#include <cstdint>
#include <span>
#include <string>

#include "platform/fs/durable.h"

namespace qel::mci {

class WavWriter {
 public:
  // Creates the temporary file next to path; ok() tells whether it exists.
  WavWriter(std::string path, int sample_rate);
  // Removes the temporary file unless Finish succeeded.
  ~WavWriter();
  WavWriter(WavWriter const&) = delete;
  WavWriter& operator=(WavWriter const&) = delete;

  bool ok() const { return file_.open(); }
  // Appends frames (samples clipped to 16 bits); false on a write error.
  bool Write(std::span<float const> left, std::span<float const> right);
  // Writes the header's sizes, closes the file and renames it to its final name.
  bool Finish();

 private:
  int sample_rate_;
  fs::DurableFile file_;
  std::uint64_t frames_ = 0;
};

}  // namespace qel::mci

#endif  // QELSHARE_PLATFORM_MCI_WAV_WRITER_H_
