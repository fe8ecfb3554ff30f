#include "platform/mci/song.h"

#include <fluidsynth.h>

#include <algorithm>

namespace qel::mci {

std::unique_ptr<Song> Song::Create(std::span<std::uint8_t const> bytes, SmfInfo const& info,
                                   MCIERROR& error) {
  std::unique_ptr<Synthesiser> synth = AcquireSynthesiser(error);
  if (synth == nullptr) return nullptr;
  std::unique_ptr<Song> song(new Song);
  song->synth_ = std::move(synth);
  song->music_frames_ = (info.length_us * kSampleRate + 999999) / 1000000;
  song->player_ = new_fluid_player(song->synth_->synth());
  if (song->player_ == nullptr) {
    error = MCIERR_CANNOT_LOAD_DRIVER;
    return nullptr;
  }
  if (fluid_player_add_mem(song->player_, bytes.data(), bytes.size()) != FLUID_OK ||
      fluid_player_play(song->player_) != FLUID_OK) {
    error = MCIERR_INVALID_FILE;
    return nullptr;
  }
  return song;
}

Song::~Song() {
  if (player_ != nullptr) {
    fluid_player_stop(player_);
    delete_fluid_player(player_);
  }
  ReleaseSynthesiser(std::move(synth_));
}

std::size_t Song::Render(std::span<float> left, std::span<float> right) {
  fluid_synth_t* synth = synth_->synth();
  std::uint64_t const cut = music_frames_ + std::uint64_t{kMaxReleaseMs} * kSampleRate / 1000;
  std::size_t done = 0;
  while (done < left.size() && !finished_) {
    if (position_ >= music_frames_ && !released_) {
      // The music is over: what still sounds goes into its release.
      fluid_player_stop(player_);
      fluid_synth_all_notes_off(synth, -1);
      released_ = true;
    }
    if (released_ && (fluid_synth_get_active_voice_count(synth) == 0 || position_ >= cut)) {
      finished_ = true;
      break;
    }
    std::uint64_t const limit = released_ ? cut : music_frames_;
    auto const n = static_cast<int>(
        std::min<std::uint64_t>({left.size() - done, limit - position_, released_ ? 64u : 1024u}));
    fluid_synth_write_float(synth, n, left.data() + done, 0, 1, right.data() + done, 0, 1);
    done += static_cast<std::size_t>(n);
    position_ += static_cast<std::uint64_t>(n);
  }
  return done;
}

}  // namespace qel::mci
