// A small writer of Standard MIDI Files for tests and benchmarks: format 0 and 1, any
// number of tracks, tempo changes, notes, running status on request, raw bytes for
// damaged files.
#ifndef QELSHARE_TESTS_SUPPORT_SMF_WRITER_H_
#define QELSHARE_TESTS_SUPPORT_SMF_WRITER_H_

#include <cstdint>
#include <deque>
#include <fstream>
#include <string>
#include <vector>

namespace qel::test {

class SmfTrack {
 public:
  // With running status, a channel message repeating the previous status omits it.
  explicit SmfTrack(bool running_status = false) : running_status_(running_status) {}

  SmfTrack& Tempo(std::uint32_t delta, std::uint32_t us_per_quarter) {
    Meta(delta, 0x51,
         {static_cast<std::uint8_t>(us_per_quarter >> 16),
          static_cast<std::uint8_t>(us_per_quarter >> 8),
          static_cast<std::uint8_t>(us_per_quarter)});
    return *this;
  }
  SmfTrack& Program(std::uint32_t delta, int channel, int program) {
    return Channel(delta, 0xC0 | channel, {static_cast<std::uint8_t>(program)});
  }
  SmfTrack& NoteOn(std::uint32_t delta, int channel, int key, int velocity = 100) {
    return Channel(delta, 0x90 | channel,
                   {static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(velocity)});
  }
  // A note-off as a note-on of velocity 0, which running status shortens best.
  SmfTrack& NoteOff(std::uint32_t delta, int channel, int key) {
    return NoteOn(delta, channel, key, 0);
  }
  SmfTrack& Meta(std::uint32_t delta, std::uint8_t type, std::vector<std::uint8_t> data) {
    Delta(delta);
    bytes_.push_back(0xFF);
    bytes_.push_back(type);
    Number(static_cast<std::uint32_t>(data.size()));
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    status_ = 0;
    return *this;
  }
  SmfTrack& End(std::uint32_t delta = 0) { return Meta(delta, 0x2F, {}); }
  // Appends bytes as they are; the next channel message writes its status.
  SmfTrack& Raw(std::vector<std::uint8_t> const& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    status_ = 0;
    return *this;
  }
  std::vector<std::uint8_t> const& bytes() const { return bytes_; }

 private:
  SmfTrack& Channel(std::uint32_t delta, int status, std::vector<std::uint8_t> data) {
    Delta(delta);
    if (!running_status_ || status != status_) bytes_.push_back(static_cast<std::uint8_t>(status));
    status_ = status;
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
  }
  void Delta(std::uint32_t delta) { Number(delta); }
  void Number(std::uint32_t v) {
    std::uint8_t groups[5];
    int n = 0;
    do {
      groups[n++] = v & 0x7F;
      v >>= 7;
    } while (v != 0);
    while (n > 1) bytes_.push_back(groups[--n] | 0x80);
    bytes_.push_back(groups[0]);
  }

  bool running_status_;
  int status_ = 0;
  std::vector<std::uint8_t> bytes_;
};

class SmfWriter {
 public:
  SmfWriter(int format, int division) : format_(format), division_(division) {}

  SmfTrack& AddTrack(bool running_status = false) {
    tracks_.emplace_back(running_status);
    return tracks_.back();
  }

  std::vector<std::uint8_t> Bytes() const {
    std::vector<std::uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    Put16(out, format_);
    Put16(out, static_cast<int>(tracks_.size()));
    Put16(out, division_);
    for (SmfTrack const& t : tracks_) {
      out.insert(out.end(), {'M', 'T', 'r', 'k'});
      auto const n = static_cast<std::uint32_t>(t.bytes().size());
      out.insert(out.end(), {static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
                             static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
      out.insert(out.end(), t.bytes().begin(), t.bytes().end());
    }
    return out;
  }

  void Save(std::string const& path) const {
    std::vector<std::uint8_t> const b = Bytes();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<char const*>(b.data()), static_cast<std::streamsize>(b.size()));
  }

 private:
  static void Put16(std::vector<std::uint8_t>& out, int v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
  }

  int format_;
  int division_;
  std::deque<SmfTrack> tracks_;  // a deque: tracks handed out stay where they are
};

// A format 1 file of `seconds` of piano at 120 beats per minute (division 480): a melody
// track of quarter notes and a tempo track; running status throughout.
inline SmfWriter LongSong(int seconds) {
  SmfWriter w(1, 480);
  w.AddTrack().Tempo(0, 500000).End(static_cast<std::uint32_t>(seconds) * 960);
  SmfTrack& melody = w.AddTrack(true);
  melody.Program(0, 0, 0);
  for (int beat = 0; beat < seconds * 2; ++beat) {
    int const key = 60 + (beat * 7) % 12;
    melody.NoteOn(beat == 0 ? 0 : 80, 0, key).NoteOff(400, 0, key);
  }
  melody.End(80);
  return w;
}

}  // namespace qel::test

#endif  // QELSHARE_TESTS_SUPPORT_SMF_WRITER_H_
