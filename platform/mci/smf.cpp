#include "platform/mci/smf.h"

#include <algorithm>
#include <vector>

#include "platform/coding/coding.h"

namespace qel::mci {
namespace {

struct TempoChange {
  std::uint64_t tick;
  std::uint32_t tempo;  // microseconds per quarter note
};

// Ticks beyond which no file is under a day long at any tempo but zero; walking stops
// counting there so that sums cannot overflow.
constexpr std::uint64_t kTickCap = std::uint64_t{1} << 52;

class TrackReader {
 public:
  TrackReader(std::span<std::uint8_t const> data) : data_(data) {}

  bool AtEnd() const { return pos_ >= data_.size(); }

  bool Byte(std::uint8_t& b) {
    if (pos_ >= data_.size()) return false;
    b = data_[pos_++];
    return true;
  }

  // A variable-length number of at most four bytes.
  bool Number(std::uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
      std::uint8_t b;
      if (!Byte(b)) return false;
      value = (value << 7) | (b & 0x7F);
      if ((b & 0x80) == 0) return true;
    }
    return false;
  }

  bool Skip(std::uint32_t n) {
    if (n > data_.size() - pos_) return false;
    pos_ += n;
    return true;
  }

  std::uint8_t const* Here() const { return data_.data() + pos_; }

 private:
  std::span<std::uint8_t const> data_;
  std::size_t pos_ = 0;
};

// Walks one track; appends its tempo changes and stores the tick of its end.
bool WalkTrack(std::span<std::uint8_t const> data, std::vector<TempoChange>& tempos,
               std::uint64_t& end_tick) {
  TrackReader r(data);
  std::uint64_t tick = 0;
  std::uint8_t running = 0;  // status of the last channel message, 0 for none
  while (!r.AtEnd()) {
    std::uint32_t delta;
    if (!r.Number(delta)) return false;
    tick = std::min(tick + delta, kTickCap);
    std::uint8_t status;
    if (!r.Byte(status)) return false;
    if (status < 0x80) {
      if (running == 0) return false;  // running status without a channel message before
      std::uint8_t const kind = running & 0xF0;
      if (kind != 0xC0 && kind != 0xD0) {
        std::uint8_t second;
        if (!r.Byte(second) || second >= 0x80) return false;
      }
      continue;
    }
    if (status < 0xF0) {
      running = status;
      int const count = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
      for (int i = 0; i < count; ++i) {
        std::uint8_t b;
        if (!r.Byte(b) || b >= 0x80) return false;
      }
      continue;
    }
    running = 0;
    if (status == 0xF0 || status == 0xF7) {
      std::uint32_t length;
      if (!r.Number(length) || !r.Skip(length)) return false;
      continue;
    }
    if (status != 0xFF) return false;  // system common and real-time bytes have no place here
    std::uint8_t type;
    std::uint32_t length;
    if (!r.Byte(type) || !r.Number(length)) return false;
    std::uint8_t const* payload = r.Here();
    if (!r.Skip(length)) return false;
    if (type == 0x51) {
      if (length != 3) return false;
      tempos.push_back({tick, coding::GetBe24(payload)});
    } else if (type == 0x2F) {
      break;
    }
  }
  end_tick = tick;
  return true;
}

}  // namespace

SmfCheck CheckSmf(std::span<std::uint8_t const> bytes, SmfInfo& info) {
  if (bytes.size() < 8 || !std::equal(bytes.begin(), bytes.begin() + 4, "MThd")) {
    return SmfCheck::kNotMidi;
  }
  std::uint32_t const header_length = coding::GetBe32(bytes.data() + 4);
  if (header_length < 6 || header_length > bytes.size() - 8) return SmfCheck::kDamaged;
  std::uint8_t const* h = bytes.data() + 8;
  int const format = coding::GetBe16(h);
  int const tracks = coding::GetBe16(h + 2);
  int const division = coding::GetBe16(h + 4);
  if (format > 2 || tracks == 0 || division == 0) return SmfCheck::kDamaged;
  bool const smpte = (division & 0x8000) != 0;

  std::vector<TempoChange> tempos;
  std::uint64_t end_tick = 0;
  std::size_t pos = 8 + header_length;
  int found = 0;
  while (found < tracks) {
    if (bytes.size() - pos < 8) return SmfCheck::kDamaged;
    std::uint32_t const length = coding::GetBe32(bytes.data() + pos + 4);
    if (length > bytes.size() - pos - 8) return SmfCheck::kDamaged;
    auto const chunk = bytes.subspan(pos + 8, length);
    if (std::equal(bytes.begin() + pos, bytes.begin() + pos + 4, "MTrk")) {
      std::uint64_t track_end = 0;
      if (!WalkTrack(chunk, tempos, track_end)) return SmfCheck::kDamaged;
      end_tick = std::max(end_tick, track_end);
      ++found;
    }
    pos += 8 + std::size_t{length};
  }
  if (smpte) return SmfCheck::kSmpteDivision;

  // Tempo changes in time order; at one tick, the one of the later track wins.
  std::stable_sort(tempos.begin(), tempos.end(),
                   [](TempoChange const& a, TempoChange const& b) { return a.tick < b.tick; });
  long double us = 0;
  std::uint64_t tick = 0;
  std::uint32_t tempo = 500000;
  for (TempoChange const& t : tempos) {
    if (t.tick >= end_tick) break;
    us += static_cast<long double>(t.tick - tick) * tempo / division;
    tick = t.tick;
    tempo = t.tempo;
  }
  us += static_cast<long double>(end_tick - tick) * tempo / division;
  if (us > static_cast<long double>(kMaxSongMicroseconds)) return SmfCheck::kDamaged;

  info.format = format;
  info.tracks = tracks;
  info.division = division;
  info.length_us = static_cast<std::uint64_t>(us + 0.5L);
  return SmfCheck::kOk;
}

}  // namespace qel::mci
