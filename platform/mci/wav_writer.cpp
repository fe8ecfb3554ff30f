#include "platform/mci/wav_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace qel::mci {
namespace {

void Put16(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
void Put32(unsigned char* p, std::uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

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

WavWriter::WavWriter(std::string path, int sample_rate)
    : path_(std::move(path)), sample_rate_(sample_rate) {
  std::string pattern = path_ + ".XXXXXX";
  int const fd = mkstemp(pattern.data());
  if (fd < 0) return;
  temp_ = pattern;
  file_ = fdopen(fd, "wb");
  if (file_ == nullptr) {
    close(fd);
    unlink(temp_.c_str());
    return;
  }
  unsigned char h[44];
  Header(h, sample_rate_, 0);
  if (std::fwrite(h, 1, sizeof h, file_) != sizeof h) {
    std::fclose(file_);
    file_ = nullptr;
    unlink(temp_.c_str());
  }
}

WavWriter::~WavWriter() {
  if (file_ != nullptr) std::fclose(file_);
  if (!finished_ && !temp_.empty()) unlink(temp_.c_str());
}

bool WavWriter::Write(std::span<float const> left, std::span<float const> right) {
  if (file_ == nullptr) return false;
  std::vector<std::int16_t> frames(left.size() * 2);
  for (std::size_t i = 0; i < left.size(); ++i) {
    frames[2 * i] = ToS16(left[i]);
    frames[2 * i + 1] = ToS16(right[i]);
  }
  frames_ += left.size();
  return std::fwrite(frames.data(), sizeof(std::int16_t), frames.size(), file_) == frames.size();
}

bool WavWriter::Finish() {
  if (file_ == nullptr) return false;
  unsigned char h[44];
  Header(h, sample_rate_, frames_);
  bool ok = std::fseek(file_, 0, SEEK_SET) == 0 && std::fwrite(h, 1, sizeof h, file_) == sizeof h;
  ok = std::fflush(file_) == 0 && ok;
  ok = fsync(fileno(file_)) == 0 && ok;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  // mkstemp makes the file private; a rendered file gets the usual permissions.
  mode_t const mask = umask(0);
  umask(mask);
  ok = ok && chmod(temp_.c_str(), 0666 & ~mask) == 0;
  ok = ok && std::rename(temp_.c_str(), path_.c_str()) == 0;
  finished_ = ok;
  return ok;
}

}  // namespace qel::mci
