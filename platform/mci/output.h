// Where devices send their sound.
#ifndef QELSHARE_PLATFORM_MCI_OUTPUT_H_
#define QELSHARE_PLATFORM_MCI_OUTPUT_H_

#include <string>

namespace qel::mci {

struct Output {
  enum class Kind {
    kSystem,  // the system's sound output (ALSA); where there is none, as kSilent
    kSilent,  // no sound, in real time: the music keeps time and ends as it would
    kWav,     // a WAV file at wav_path, rendered as fast as the machine allows
  };
  Kind kind = Kind::kSystem;
  std::string wav_path;
};

// Chooses the output of devices opened later (the WAV seam for tests and qel play --wav).
// Thread-safe.
void SetOutput(Output output);
Output CurrentOutput();

// Whether the system offers a sound device to try (ALSA cards or a system-wide ALSA
// configuration); without one, kSystem plays silently instead of waiting on sound servers that are
// not there.
bool SystemHasSound();

}  // namespace qel::mci

#endif  // QELSHARE_PLATFORM_MCI_OUTPUT_H_
