// One MIDI file rendered from its start on a synthesiser, block by block, ending where the
// device decides: at the file's length plus the release of the notes still sounding
// (every note is released at the length), at most kMaxReleaseMs after it.
#ifndef QELSHARE_PLATFORM_MCI_SONG_H_
#define QELSHARE_PLATFORM_MCI_SONG_H_

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/mci/mci.h"
#include "platform/mci/smf.h"
#include "platform/mci/synth_pool.h"

typedef struct _fluid_player_t fluid_player_t;

namespace qel::mci {

class Song {
 public:
  // A song of a checked file (CheckSmf gave kOk and info) on a synthesiser of the pool.
  // Null with error set when no synthesiser is ready (see AcquireSynthesiser) or the
  // player does not take the file (MCIERR_INVALID_FILE).
  static std::unique_ptr<Song> Create(std::span<std::uint8_t const> bytes, SmfInfo const& info,
                                      MCIERROR& error);
  // Gives the synthesiser back to the pool.
  ~Song();
  Song(Song const&) = delete;
  Song& operator=(Song const&) = delete;

  // Renders up to left.size() frames (left and right the same size) and returns how many;
  // fewer only at the end, 0 once Finished.
  std::size_t Render(std::span<float> left, std::span<float> right);

  bool Finished() const { return finished_; }
  // Frames rendered so far.
  std::uint64_t Position() const { return position_; }
  // Frames of the music without the release: the file's length.
  std::uint64_t MusicFrames() const { return music_frames_; }

 private:
  Song() = default;

  std::unique_ptr<Synthesiser> synth_;
  fluid_player_t* player_ = nullptr;
  std::uint64_t music_frames_ = 0;
  std::uint64_t position_ = 0;
  bool released_ = false;
  bool finished_ = false;
};

}  // namespace qel::mci

#endif  // QELSHARE_PLATFORM_MCI_SONG_H_
