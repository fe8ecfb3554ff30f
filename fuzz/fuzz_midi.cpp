// Fuzz target: the sequencer's opening path on damaged MIDI files. The bytes go through
// the Standard MIDI File check; those that pass are loaded into FluidSynth's player and
// rendered for a moment, as a device does after MCI_OPEN. The check must answer for
// every input, and nothing it lets through may upset the synthesiser.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "platform/mci/smf.h"
#include "platform/mci/song.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
  using namespace qel::mci;
  std::span<std::uint8_t const> const bytes(data, size);
  SmfInfo info;
  SmfCheck const check = CheckSmf(bytes, info);
  if (check != SmfCheck::kOk) return 0;
  if (info.length_us > kMaxSongMicroseconds || info.division <= 0) std::abort();
  MCIERROR error = 0;
  std::unique_ptr<Song> song = Song::Create(bytes, info, error);
  if (song == nullptr) return 0;  // no SoundFont here: the check alone is fuzzed
  std::vector<float> left(2048), right(2048);
  for (int i = 0; i < 4 && !song->Finished(); ++i) {
    if (song->Render(left, right) > left.size()) std::abort();
  }
  return 0;
}
