// The Media Control Interface of the MIDI sequencer: command numbers, flags, parameter
// blocks, error codes and notification codes with the desktop platform's values, and the
// one entry point that sends a command to a device.
//
// Only the sequencer device type exists. A device plays one Standard MIDI File on a
// FluidSynth synthesiser with a General MIDI SoundFont (soundfont.h). The file is read
// whole and checked when it is opened (smf.h), so a file that changes or vanishes later
// does not disturb the music. A device decides where its music ends: at the length of the
// file under its tempo map, plus the release of the notes still sounding, at most
// kMaxReleaseMs after it.
//
// Devices are thread-safe. Notifications go to windows through notify.h.
#ifndef QELSHARE_PLATFORM_MCI_MCI_H_
#define QELSHARE_PLATFORM_MCI_MCI_H_

#include <cstdint>
#include <string>

#include "qelshare/types.h"

namespace qel::mci {

using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using DWORD_PTR = std::uintptr_t;
using MCIDEVICEID = std::uint32_t;
using MCIERROR = std::uint32_t;

// Commands.
inline constexpr UINT MCI_OPEN = 0x803;
inline constexpr UINT MCI_CLOSE = 0x804;
inline constexpr UINT MCI_PLAY = 0x806;
inline constexpr UINT MCI_STOP = 0x808;
inline constexpr UINT MCI_PAUSE = 0x809;
inline constexpr UINT MCI_SET = 0x80D;
inline constexpr UINT MCI_STATUS = 0x814;
inline constexpr UINT MCI_RESUME = 0x855;

// Flags common to every command.
inline constexpr DWORD MCI_NOTIFY = 0x1;
inline constexpr DWORD MCI_WAIT = 0x2;
// MCI_OPEN flags.
inline constexpr DWORD MCI_OPEN_SHAREABLE = 0x100;
inline constexpr DWORD MCI_OPEN_ELEMENT = 0x200;
inline constexpr DWORD MCI_OPEN_ALIAS = 0x400;
inline constexpr DWORD MCI_OPEN_ELEMENT_ID = 0x800;
inline constexpr DWORD MCI_OPEN_TYPE_ID = 0x1000;
inline constexpr DWORD MCI_OPEN_TYPE = 0x2000;
// MCI_PLAY flags.
inline constexpr DWORD MCI_FROM = 0x4;
inline constexpr DWORD MCI_TO = 0x8;
// MCI_SET flags.
inline constexpr DWORD MCI_SET_TIME_FORMAT = 0x400;
// MCI_STATUS flags and items.
inline constexpr DWORD MCI_STATUS_ITEM = 0x100;
inline constexpr DWORD MCI_STATUS_LENGTH = 0x1;
inline constexpr DWORD MCI_STATUS_POSITION = 0x2;
inline constexpr DWORD MCI_STATUS_MODE = 0x4;
inline constexpr DWORD MCI_STATUS_TIME_FORMAT = 0x6;

// Device types (the low word of lpstrDeviceType with MCI_OPEN_TYPE_ID).
inline constexpr DWORD MCI_DEVTYPE_SEQUENCER = 0x20B;
// Time formats.
inline constexpr DWORD MCI_FORMAT_MILLISECONDS = 0;
// Modes reported by MCI_STATUS_MODE.
inline constexpr DWORD MCI_MODE_STOP = 525;
inline constexpr DWORD MCI_MODE_PLAY = 526;
inline constexpr DWORD MCI_MODE_PAUSE = 529;

// The notification message and its wParam codes; lParam is the device identifier.
inline constexpr UINT MM_MCINOTIFY = 0x3B9;
inline constexpr DWORD MCI_NOTIFY_SUCCESSFUL = 0x1;
inline constexpr DWORD MCI_NOTIFY_SUPERSEDED = 0x2;
inline constexpr DWORD MCI_NOTIFY_ABORTED = 0x4;
inline constexpr DWORD MCI_NOTIFY_FAILURE = 0x8;

// Error codes (0 is success).
inline constexpr MCIERROR MCIERR_BASE = 256;
inline constexpr MCIERROR MCIERR_INVALID_DEVICE_ID = MCIERR_BASE + 1;
inline constexpr MCIERROR MCIERR_UNRECOGNIZED_COMMAND = MCIERR_BASE + 5;
inline constexpr MCIERROR MCIERR_INVALID_DEVICE_NAME = MCIERR_BASE + 7;
inline constexpr MCIERROR MCIERR_OUT_OF_MEMORY = MCIERR_BASE + 8;
inline constexpr MCIERROR MCIERR_CANNOT_LOAD_DRIVER = MCIERR_BASE + 10;
inline constexpr MCIERROR MCIERR_MISSING_PARAMETER = MCIERR_BASE + 17;
inline constexpr MCIERROR MCIERR_UNSUPPORTED_FUNCTION = MCIERR_BASE + 18;
inline constexpr MCIERROR MCIERR_FILE_NOT_FOUND = MCIERR_BASE + 19;
inline constexpr MCIERROR MCIERR_FLAGS_NOT_COMPATIBLE = MCIERR_BASE + 28;
inline constexpr MCIERROR MCIERR_BAD_TIME_FORMAT = MCIERR_BASE + 37;
inline constexpr MCIERROR MCIERR_INVALID_FILE = MCIERR_BASE + 40;
inline constexpr MCIERROR MCIERR_NULL_PARAMETER_BLOCK = MCIERR_BASE + 41;
inline constexpr MCIERROR MCIERR_FILENAME_REQUIRED = MCIERR_BASE + 48;
inline constexpr MCIERROR MCIERR_SEQ_DIV_INCOMPATIBLE = MCIERR_BASE + 80;
inline constexpr MCIERROR MCIERR_SEQ_PORT_INUSE = MCIERR_BASE + 81;
inline constexpr MCIERROR MCIERR_SEQ_NOMIDIPRESENT = MCIERR_BASE + 87;
inline constexpr MCIERROR MCIERR_FILE_READ = MCIERR_BASE + 92;
inline constexpr MCIERROR MCIERR_FILE_WRITE = MCIERR_BASE + 93;

// Parameter blocks, in the platform's field order.
struct MCI_GENERIC_PARMS {
  DWORD_PTR dwCallback;
};

struct MCI_OPEN_PARMSA {
  DWORD_PTR dwCallback;
  MCIDEVICEID wDeviceID;         // out: the new device's identifier
  char const* lpstrDeviceType;   // with MCI_OPEN_TYPE_ID: the device type in the low word
  char const* lpstrElementName;  // with MCI_OPEN_ELEMENT: the file path
  char const* lpstrAlias;
};

struct MCI_PLAY_PARMS {
  DWORD_PTR dwCallback;  // with MCI_NOTIFY: the HWND that receives MM_MCINOTIFY
  DWORD dwFrom;
  DWORD dwTo;
};

struct MCI_SET_PARMS {
  DWORD_PTR dwCallback;
  DWORD dwTimeFormat;
  DWORD dwAudio;
};

struct MCI_STATUS_PARMS {
  DWORD_PTR dwCallback;
  DWORD_PTR dwReturn;  // out
  DWORD dwItem;
  DWORD dwTrack;
};

// Most devices open at once in a process; one more open fails with MCIERR_SEQ_PORT_INUSE.
inline constexpr int kMaxDevices = 64;
// Longest release of the notes sounding at the end of the music.
inline constexpr int kMaxReleaseMs = 2000;

// Sends a command to a device (MCI_OPEN to none: pass 0) with its flags and the address
// of its parameter block, in the manner of mciSendCommandA. Returns 0 or an MCIERR_ code.
//
// MCI_OPEN of the sequencer type with MCI_OPEN_ELEMENT reads and checks the file and makes
// the device (stopped at the start, time format milliseconds); failures:
// MCIERR_FILE_NOT_FOUND (no such file), MCIERR_FILE_READ (a directory, no permission, a
// read error), MCIERR_INVALID_FILE (not a Standard MIDI File, damaged, longer than a day),
// MCIERR_SEQ_DIV_INCOMPATIBLE (SMPTE time division), MCIERR_SEQ_NOMIDIPRESENT (no
// SoundFont, or the chosen one missing or not a SoundFont: soundfont.h),
// MCIERR_CANNOT_LOAD_DRIVER (the synthesiser cannot start), MCIERR_SEQ_PORT_INUSE
// (kMaxDevices are open). MCI_PLAY plays from the current position to the end (MCI_FROM and
// MCI_TO are not supported). MCI_STOP and MCI_PAUSE hold the position; MCI_RESUME plays on
// without a notification. MCI_CLOSE frees the device and its identifier.
//
// A play with MCI_NOTIFY posts exactly one MM_MCINOTIFY to the window in dwCallback:
// MCI_NOTIFY_SUCCESSFUL at the end of the music, MCI_NOTIFY_SUPERSEDED when another play
// with MCI_NOTIFY or MCI_CLOSE replaces it, MCI_NOTIFY_ABORTED on MCI_STOP or MCI_PAUSE,
// MCI_NOTIFY_FAILURE when the output fails. Other commands with MCI_NOTIFY post
// MCI_NOTIFY_SUCCESSFUL when they succeed. MCI_PLAY with MCI_WAIT returns at the end.
MCIERROR SendCommand(MCIDEVICEID device, UINT command, DWORD_PTR flags, DWORD_PTR params);

// One English sentence for an error code, in the manner of mciGetErrorStringA.
std::string ErrorText(MCIERROR error);

}  // namespace qel::mci

#endif  // QELSHARE_PLATFORM_MCI_MCI_H_
