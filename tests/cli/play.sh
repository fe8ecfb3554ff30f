#!/usr/bin/env bash
# qel play: --info, --wav rendering (length, nothing left behind on failure), the chosen
# SoundFont, exit codes.
set -euo pipefail
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# Format 0, division 480: a piano note of one beat at 120 bpm, running status note-off.
printf 'MThd\0\0\0\6\0\0\0\1\1\340MTrk\0\0\0\17\0\300\0\0\220\74\144\203\140\74\0\0\377\57\0' \
  >"$dir/note.mid"
[ "$("$QEL" play --info "$dir/note.mid")" = "format 0, 1 track, division 480, length 500 ms" ]
[ "$("$QEL" play --info "$dir/note.mid" --json)" = '{"division":480,"format":0,"length_ms":500,"tracks":1}' ]

wavs=0
if [ -e /usr/share/sounds/sf2/TimGM6mb.sf2 ] || [ -e /usr/share/sounds/sf2/default-GM.sf2 ]; then
  "$QEL" play "$dir/note.mid" --wav "$dir/note.wav" >/dev/null
  size=$(stat -c %s "$dir/note.wav")
  # 0.5 s of music plus at most 2 s of release, 16-bit stereo at 44100 Hz.
  [ "$size" -ge $((44 + 22050 * 4)) ] && [ "$size" -le $((44 + 110250 * 4)) ]
  [ "$(head -c 4 "$dir/note.wav")" = RIFF ]
  wavs=1
  # Played without a terminal (silently where there is no sound card): ends by itself.
  timeout 20 "$QEL" play "$dir/note.mid"
  # The SoundFont QELSHARE_SOUNDFONT names is played with; --soundfont wins over it.
  sf=/usr/share/sounds/sf2/TimGM6mb.sf2
  [ -e "$sf" ] || sf=/usr/share/sounds/sf2/default-GM.sf2
  QELSHARE_SOUNDFONT="$sf" "$QEL" play "$dir/note.mid" --wav "$dir/sf.wav" >/dev/null
  QELSHARE_SOUNDFONT="$dir/none.sf2" "$QEL" play "$dir/note.mid" --soundfont "$sf" \
    --wav "$dir/sf.wav" >/dev/null
  rm "$dir/sf.wav"
fi

fails() {  # expected exit code, then the command's arguments
  local want=$1 code
  shift
  set +e
  "$QEL" play "$@" >/dev/null 2>"$dir/err"
  code=$?
  set -e
  [ "$code" = "$want" ] || { echo "qel play $*: exit $code, expected $want"; exit 1; }
  [ "$(wc -l <"$dir/err")" = 1 ] || { cat "$dir/err"; exit 1; }
}
head -c 30 "$dir/note.mid" >"$dir/cut.mid"
fails 1 "$dir/cut.mid" --wav "$dir/cut.wav"
grep -q "cut.mid" "$dir/err"
fails 1 --info "$dir/cut.mid"
echo 'not music' >"$dir/text.mid"
fails 1 "$dir/text.mid" --wav "$dir/text.wav"
fails 3 "$dir/none.mid" --wav "$dir/none.wav"
grep -q "none.mid" "$dir/err"
fails 3 "$dir" --wav "$dir/dir.wav"
fails 3 --info "$dir/none.mid"
fails 3 "$dir/note.mid" --wav "$dir/no/such/folder/x.wav"
# A chosen SoundFont that is missing is an input error, like a missing MIDI file; one that
# is not a SoundFont fails like a file that is not MIDI.
fails 3 "$dir/note.mid" --soundfont "$dir/none.sf2" --wav "$dir/nosf.wav"
grep -q "none.sf2" "$dir/err"
QELSHARE_SOUNDFONT="$dir/none.sf2" fails 3 "$dir/note.mid" --wav "$dir/nosf.wav"
grep -q "none.sf2" "$dir/err"
fails 3 "$dir/note.mid" --soundfont "$dir" --wav "$dir/nosf.wav"
echo 'not a SoundFont' >"$dir/text.sf2"
fails 1 "$dir/note.mid" --soundfont "$dir/text.sf2" --wav "$dir/nosf.wav"
grep -q "text.sf2" "$dir/err"
printf 'RIFF\44\0\0\0WAVEfmt ' >"$dir/riff.sf2"
QELSHARE_SOUNDFONT="$dir/riff.sf2" fails 1 "$dir/note.mid" --wav "$dir/nosf.wav"
grep -q "riff.sf2" "$dir/err"
fails 2 "$dir/note.mid" --wav "$dir/x.wav" --loop
# Nothing left behind by the failures: no WAV, no temporary file.
[ "$(cd "$dir" && ls | grep -c wav || true)" = $wavs ]
echo "play: ok"
