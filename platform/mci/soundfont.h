// Where the General MIDI SoundFont of the sequencer is found.
#ifndef QELSHARE_PLATFORM_MCI_SOUNDFONT_H_
#define QELSHARE_PLATFORM_MCI_SOUNDFONT_H_

#include <optional>
#include <string>
#include <vector>

namespace qel::mci {

// The standard places, in the order they are tried: the system's default General MIDI
// SoundFont first (Debian's alternative default-GM), then common SoundFonts by name.
std::vector<std::string> const& StandardSoundFontPlaces();

// Replaces the places tried for devices opened later (a host's --soundfont, tests); an
// empty list returns to the standard places. Thread-safe.
void SetSoundFontPlaces(std::vector<std::string> places);

// The first of the places that is a readable regular file.
std::optional<std::string> FindSoundFont();

}  // namespace qel::mci

#endif  // QELSHARE_PLATFORM_MCI_SOUNDFONT_H_
