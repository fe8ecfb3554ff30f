// Where the General MIDI SoundFont of the sequencer is found.
//
// A SoundFont can be chosen, in this order: by the host (SetSoundFont, which qel play
// --soundfont calls), else by the environment variable QELSHARE_SOUNDFONT (when set and not
// empty). A chosen SoundFont is the only one tried: when it is missing or not a SoundFont,
// no device opens (MCIERR_SEQ_NOMIDIPRESENT) rather than playing with another one. Without
// a choice the standard places are searched. The choice is read at each MCI_OPEN.
#ifndef QELSHARE_PLATFORM_MCI_SOUNDFONT_H_
#define QELSHARE_PLATFORM_MCI_SOUNDFONT_H_

#include <optional>
#include <string>
#include <vector>

namespace qel::mci {

// The environment variable that names the SoundFont.
inline constexpr char kSoundFontVariable[] = "QELSHARE_SOUNDFONT";

// The standard places, in the order they are tried: the system's default General MIDI
// SoundFont first (Debian's alternative default-GM), then common SoundFonts by name.
std::vector<std::string> const& StandardSoundFontPlaces();

// Chooses the SoundFont of devices opened later, over QELSHARE_SOUNDFONT; an empty path
// withdraws the choice. Thread-safe.
void SetSoundFont(std::string path);

// The SoundFont chosen by SetSoundFont or QELSHARE_SOUNDFONT, if any.
std::optional<std::string> ChosenSoundFont();

enum class SoundFontCheck {
  kOk,            // a readable file that starts as a SoundFont (.sf2, or .sf3)
  kMissing,       // no such file
  kUnreadable,    // a directory, no permission, a read error
  kNotSoundFont,  // some other file (only its RIFF header is looked at)
};

// What is at path, by its header: the sample data is checked when the synthesiser loads it.
SoundFontCheck CheckSoundFont(std::string const& path);

// The chosen SoundFont when it checks kOk (none when it does not), else the first standard
// place that checks kOk.
std::optional<std::string> FindSoundFont();

}  // namespace qel::mci

#endif  // QELSHARE_PLATFORM_MCI_SOUNDFONT_H_
