// CBkMidi: one MIDI file played as background music on the MIDI sequencer.
//
// Open starts the music at once; Pause or Stop hold it where it is and Play goes on from
// there. When a play ends, the sequencer posts MM_MCINOTIFY (0x3B9) to the window named at
// Open: wParam MCI_NOTIFY_SUCCESSFUL (1) at the end of the music, MCI_NOTIFY_SUPERSEDED (2)
// when a later Play, Open or Close replaces it, MCI_NOTIFY_ABORTED (4) on Pause or Stop;
// lParam is the device identifier. The host may then Open the file again to start over
// (Play alone at the end finishes at once). The music ends at the file's length under its
// tempo map plus the release of the notes still sounding, at most 2 seconds after it.
//
// The music plays with the General MIDI SoundFont that the environment variable
// QELSHARE_SOUNDFONT names, else with the system's. Without a sound device the music still
// keeps time, silently. Failures are silent: Open reports 0, the other members report
// nothing. Used on one thread; not copyable (the player owns its device).
#ifndef QELSHARE_CBKMIDI_H_
#define QELSHARE_CBKMIDI_H_

#include "qelshare/export.h"
#include "qelshare/types.h"

class CWnd;

namespace qel::media {
class MciDevice;
}

class QELSHARE_API CBkMidi {
 public:
  // Nothing open, not playing.
  CBkMidi();
  // Closes the device: music still playing stops.
  virtual ~CBkMidi();

  CBkMidi(CBkMidi const&) = delete;
  CBkMidi& operator=(CBkMidi const&) = delete;

  // Closes the device open before, if any, then opens path (a Standard MIDI File) on a new
  // sequencer device and plays it from the start, notifying pWnd's window (none when null).
  // Returns 1; or 0 when the file cannot be opened (missing, unreadable, not MIDI, damaged)
  // or there is no SoundFont to play it with (none installed; the one QELSHARE_SOUNDFONT
  // names missing or not a SoundFont), with nothing playing and IsPlay unchanged.
  int Open(CWnd* pWnd, char const* path);
  // Plays on from the current position, with notification; IsPlay becomes 1. Nothing when
  // no device is open.
  void Play();
  // Holds the music at its position; IsPlay becomes 0. Nothing when no device is open.
  void Pause();
  // Stops the music at its position; IsPlay becomes 0. Nothing when no device is open.
  void Stop();
  // Closes and frees the device; IsPlay becomes 0. Nothing when no device is open.
  void Close();
  // 1 from Open or Play until Pause, Stop or Close (the end of the music leaves it 1).
  int IsPlay();

  int m_bPlay;                       // the playing flag IsPlay reports
  qel::media::MciDevice* m_pDevice;  // the device, owned; null when none is open
};

#endif  // QELSHARE_CBKMIDI_H_
