// A 16-bit stereo PCM WAV file written beside its final name and renamed into place only
// when complete, so a failed or abandoned render leaves nothing behind.
#ifndef QELSHARE_PLATFORM_MCI_WAV_WRITER_H_
#define QELSHARE_PLATFORM_MCI_WAV_WRITER_H_

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace qel::mci {

class WavWriter {
 public:
  // Creates the temporary file next to path; ok() tells whether it exists.
  WavWriter(std::string path, int sample_rate);
  // Removes the temporary file unless Finish succeeded.
  ~WavWriter();
  WavWriter(WavWriter const&) = delete;
  WavWriter& operator=(WavWriter const&) = delete;

  bool ok() const { return file_ != nullptr; }
  // Appends frames (samples clipped to 16 bits); false on a write error.
  bool Write(std::span<float const> left, std::span<float const> right);
  // Writes the header's sizes, closes the file and renames it to its final name.
  bool Finish();

 private:
  std::string path_;
  std::string temp_;
  int sample_rate_;
  std::FILE* file_ = nullptr;
  std::uint64_t frames_ = 0;
  bool finished_ = false;
};

}  // namespace qel::mci

#endif  // QELSHARE_PLATFORM_MCI_WAV_WRITER_H_
