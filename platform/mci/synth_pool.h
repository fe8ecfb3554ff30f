// FluidSynth synthesisers with the SoundFont loaded, kept for reuse: loading a SoundFont
// takes a good part of a second, so a process loads it once per synthesiser and later
// devices take a synthesiser that is ready.
#ifndef QELSHARE_PLATFORM_MCI_SYNTH_POOL_H_
#define QELSHARE_PLATFORM_MCI_SYNTH_POOL_H_

#include <memory>
#include <string>

#include "platform/mci/mci.h"

typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;

namespace qel::mci {

// Sample rate of every synthesiser, in frames per second.
inline constexpr int kSampleRate = 44100;

// One synthesiser with its settings and the SoundFont loaded, its sample clock driving
// the MIDI file player.
class Synthesiser {
 public:
  ~Synthesiser();
  Synthesiser(Synthesiser const&) = delete;
  Synthesiser& operator=(Synthesiser const&) = delete;

  fluid_settings_t* settings() const { return settings_; }
  fluid_synth_t* synth() const { return synth_; }
  std::string const& soundfont() const { return soundfont_; }

 private:
  friend std::unique_ptr<Synthesiser> AcquireSynthesiser(MCIERROR& error);
  Synthesiser() = default;

  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
  std::string soundfont_;
};

// A ready synthesiser for the SoundFont that FindSoundFont names: a kept one when there is
// one, else a new one. Null with error MCIERR_SEQ_NOMIDIPRESENT (no SoundFont, the chosen
// one missing or not a SoundFont, or it does not load) or MCIERR_CANNOT_LOAD_DRIVER
// (FluidSynth fails to start). Thread-safe.
std::unique_ptr<Synthesiser> AcquireSynthesiser(MCIERROR& error);

// Resets a synthesiser to its power-on state and keeps it for the next device (up to a
// few; the rest are freed). Thread-safe.
void ReleaseSynthesiser(std::unique_ptr<Synthesiser> synth);

}  // namespace qel::mci

#endif  // QELSHARE_PLATFORM_MCI_SYNTH_POOL_H_
