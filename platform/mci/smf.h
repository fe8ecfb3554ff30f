// Checks of a Standard MIDI File and its length under its tempo map.
//
// The check walks every event of every track: header "MThd" (format 0, 1 or 2, at least
// one track, metrical time division), one "MTrk" chunk per track in the file (chunks of
// other types are skipped), chunk lengths inside the file, variable-length numbers of at
// most four bytes, channel messages with their data bytes, running status only after a
// channel message, system-exclusive and meta events inside their chunk. A track ends at its
// end-of-track event or at the end of its chunk.
//
// The length is the time of the end of the longest track, with the tempo events of every
// track applied (500000 microseconds per quarter note until the first).
#ifndef QELSHARE_PLATFORM_MCI_SMF_H_
#define QELSHARE_PLATFORM_MCI_SMF_H_

#include <cstdint>
#include <span>

namespace qel::mci {

// Longest music a device accepts, in microseconds (one day).
inline constexpr std::uint64_t kMaxSongMicroseconds = 24ull * 3600 * 1000000;

struct SmfInfo {
  int format = 0;
  int tracks = 0;    // tracks the header announces (all present)
  int division = 0;  // ticks per quarter note
  std::uint64_t length_us = 0;
};

enum class SmfCheck {
  kOk,
  kNotMidi,       // no "MThd" header
  kDamaged,       // truncated, wrong lengths, bad events, longer than kMaxSongMicroseconds
  kSmpteDivision  // a valid file timed in SMPTE frames, which the synthesiser cannot play
};

// Checks the whole file in bytes and fills info on kOk. Linear in the size of the file.
SmfCheck CheckSmf(std::span<std::uint8_t const> bytes, SmfInfo& info);

}  // namespace qel::mci

#endif  // QELSHARE_PLATFORM_MCI_SMF_H_
