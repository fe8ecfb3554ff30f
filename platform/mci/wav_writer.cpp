#include "platform/mci/wav_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/coding/coding.h"

namespace qel::mci {
namespace {

using coding::Put16;
using coding::Put32;

// The 44-byte header of a PCM file holding frames 16-bit stereo frames.
void Header(unsigned char (&h)[44], int rate, std::uint64_t frames) {
  auto const data = static_cast<std::uint32_t>(std::min<std::uint64_t>(frames * 4, 0xFFFFFFDBu));
  std::memcpy(h, "RIFF", 4);
  Put32(h + 4, 36 + data);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  Put32(h + 16, 16);
  Put16(h + 20, 1);  // PCM
  Put16(h + 22, 2);
  Put32(h + 24, static_cast<std::uint32_t>(rate));
  Put32(h + 28, static_cast<std::uint32_t>(rate) * 4);
  Put16(h + 32, 4);
  Put16(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  Put32(h + 40, data);
}

std::int16_t ToS16(float v) {
  float const s = std::clamp(v, -1.0f, 1.0f) * 32767.0f;
  return static_cast<std::int16_t>(std::lrint(s));
}

}  // namespace

WavWriter::WavWriter(std::string path, int sample_rate) : sample_rate_(sample_rate) {
  unsigned char h[44];
  Header(h, sample_rate_, 0);
  if (!file_.Open(path, fs::PathKind::kSystem) ||
      !file_.Write({reinterpret_cast<char const*>(h), sizeof h})) {
    file_.Abort();
  }
}

WavWriter::~WavWriter() = default;

bool WavWriter::Write(std::span<float const> left, std::span<float const> right) {
  if (!file_.open()) return false;
  std::vector<std::int16_t> frames(left.size() * 2);
  for (std::size_t i = 0; i < left.size(); ++i) {
    frames[2 * i] = ToS16(left[i]);
    frames[2 * i + 1] = ToS16(right[i]);
  }
  frames_ += left.size();
  return file_.Write(
      {reinterpret_cast<char const*>(frames.data()), frames.size() * sizeof frames[0]});
}

bool WavWriter::Finish() {
  if (!file_.open()) return false;
  unsigned char h[44];
  Header(h, sample_rate_, frames_);
  return file_.Seek(0) && file_.Write({reinterpret_cast<char const*>(h), sizeof h}) &&
         file_.Commit();
}

}  // namespace qel::mci
