// qel play: plays a MIDI file with CBkMidi, renders it to a WAV file, or describes it.
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <span>
#include <string>

#include "cli.h"
#include "media/mci_device.h"
#include "platform/mci/mci.h"
#include "platform/mci/notify.h"
#include "platform/mci/output.h"
#include "platform/mci/smf.h"
#include "platform/mci/soundfont.h"
#include "qelshare/CBkMidi.h"

namespace qel::cli::play_command {
namespace {

namespace mci = qel::mci;

// The window qel names for notifications: a handle of the message queue.
HWND const kPlayWindow = reinterpret_cast<HWND>(0x91A7);

struct PlayArgs {
  std::string file;
  std::string wav;
  std::string soundfont;
  bool loop = false;
  bool info = false;
};

// Keys on a terminal without line editing or echo, restored on exit and on Ctrl-C.
class RawKeys {
 public:
  RawKeys() : enabled_(isatty(STDIN_FILENO) == 1 && tcgetattr(STDIN_FILENO, &saved_) == 0) {
    if (!enabled_) return;
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    g_saved = saved_;
    signal(SIGINT, &RawKeys::OnInterrupt);
  }
  ~RawKeys() {
    if (!enabled_) return;
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    signal(SIGINT, SIG_DFL);
  }
  RawKeys(RawKeys const&) = delete;
  RawKeys& operator=(RawKeys const&) = delete;

  // The key pressed, or 0 after waiting up to timeout_ms for one.
  char Next(int timeout_ms) {
    if (!enabled_) {
      poll(nullptr, 0, timeout_ms);
      return 0;
    }
    pollfd p{STDIN_FILENO, POLLIN, 0};
    char c = 0;
    if (poll(&p, 1, timeout_ms) > 0 && read(STDIN_FILENO, &c, 1) == 1) return c;
    return 0;
  }

 private:
  static void OnInterrupt(int) {
    tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
    _exit(130);
  }
  static inline termios g_saved{};
  bool enabled_;
  termios saved_{};
};

std::string Clock(std::uint64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu:%02llu.%llu", static_cast<unsigned long long>(ms / 60000),
                static_cast<unsigned long long>(ms / 1000 % 60),
                static_cast<unsigned long long>(ms / 100 % 10));
  return text;
}

std::uint32_t Status(std::uint32_t device, std::uint32_t item) {
  mci::MCI_STATUS_PARMS p{};
  p.dwItem = item;
  mci::SendCommand(device, mci::MCI_STATUS, mci::MCI_STATUS_ITEM,
                   reinterpret_cast<mci::DWORD_PTR>(&p));
  return static_cast<std::uint32_t>(p.dwReturn);
}

void Info(Context const& ctx, std::string const& file) {
  std::string const bytes = ReadInput(file);
  mci::SmfInfo info;
  auto const data = std::span(reinterpret_cast<std::uint8_t const*>(bytes.data()), bytes.size());
  switch (mci::CheckSmf(data, info)) {
    case mci::SmfCheck::kOk:
      break;
    case mci::SmfCheck::kNotMidi:
      throw Failure{kFailed, file + " is not a Standard MIDI File"};
    case mci::SmfCheck::kDamaged:
      throw Failure{kFailed, file + " is a damaged MIDI file (or longer than a day)"};
    case mci::SmfCheck::kSmpteDivision:
      throw Failure{kFailed, file + " is timed in SMPTE frames, which the sequencer cannot play"};
  }
  std::uint64_t const ms = (info.length_us + 500) / 1000;
  if (ctx.json) {
    PrintJson(ctx, {{"format", info.format},
                    {"tracks", info.tracks},
                    {"division", info.division},
                    {"length_ms", ms}});
  } else {
    std::cout << "format " << info.format << ", " << info.tracks
              << (info.tracks == 1 ? " track" : " tracks") << ", division " << info.division
              << ", length " << ms << " ms\n";
  }
}

// Throws the failure of a chosen SoundFont (--soundfont or QELSHARE_SOUNDFONT) that no
// device could open with: missing or unreadable as an input error, like a MIDI file.
[[noreturn]] void SoundFontFailure(std::string const& soundfont) {
  switch (mci::CheckSoundFont(soundfont)) {
    case mci::SoundFontCheck::kMissing:
      throw Failure{kIo, soundfont + ": " + mci::ErrorText(mci::MCIERR_FILE_NOT_FOUND)};
    case mci::SoundFontCheck::kUnreadable:
      throw Failure{kIo, soundfont + ": " + mci::ErrorText(mci::MCIERR_FILE_READ)};
    case mci::SoundFontCheck::kNotSoundFont:
    case mci::SoundFontCheck::kOk:  // the header passed, the samples did not load
      break;
  }
  throw Failure{kFailed, soundfont + ": The file is not a SoundFont, or it is damaged."};
}

// Opens the file on midi, or throws the failure naming what is at fault.
void OpenOrFail(CBkMidi& midi, PlayArgs const& args) {
  if (midi.Open(mci::QueueWindow(kPlayWindow), args.file.c_str())) return;
  std::uint32_t const error = midi.m_pDevice->m_dwLastError;
  if (error == mci::MCIERR_SEQ_NOMIDIPRESENT) {
    if (std::optional<std::string> chosen = mci::ChosenSoundFont()) SoundFontFailure(*chosen);
    throw Failure{kFailed, mci::ErrorText(error)};
  }
  std::string const what = error == mci::MCIERR_FILE_WRITE ? args.wav : args.file;
  bool const io = error == mci::MCIERR_FILE_NOT_FOUND || error == mci::MCIERR_FILE_READ ||
                  error == mci::MCIERR_FILE_WRITE;
  throw Failure{io ? kIo : kFailed, what + ": " + mci::ErrorText(error)};
}

void Play(Context& ctx, PlayArgs const& args) {
  mci::SetWindowHandleHook(&mci::QueueWindowHandle);
  if (!args.soundfont.empty()) mci::SetSoundFont(args.soundfont);
  if (!args.wav.empty()) mci::SetOutput({mci::Output::Kind::kWav, args.wav});
  CBkMidi midi;
  OpenOrFail(midi, args);
  bool const wav = !args.wav.empty();
  bool const show = isatty(STDERR_FILENO) == 1;
  RawKeys keys;
  std::uint32_t const length = Status(midi.m_pDevice->m_wDeviceID, mci::MCI_STATUS_LENGTH);
  for (;;) {
    char const key = wav ? 0 : keys.Next(100);
    if (key == 'q' || key == 'Q') break;
    if (key == ' ') {
      if (midi.IsPlay()) {
        midi.Pause();
      } else {
        midi.Play();
      }
    }
    if (show) {
      std::uint32_t const at = Status(midi.m_pDevice->m_wDeviceID, mci::MCI_STATUS_POSITION);
      std::cerr << "\r\033[K"
                << (wav             ? "rendering "
                    : midi.IsPlay() ? "playing "
                                    : "paused  ")
                << Clock(at) << " / " << Clock(length)
                << (wav ? "" : "   (space: pause/resume, q: quit)") << std::flush;
    }
    auto const m = mci::WaitPosted(kPlayWindow, std::chrono::milliseconds(wav ? 100 : 0));
    if (!m || m->message != mci::MM_MCINOTIFY) continue;
    if (m->wParam == mci::MCI_NOTIFY_FAILURE) {
      if (show) std::cerr << "\r\033[K";
      throw Failure{kIo, args.wav + ": " + mci::ErrorText(mci::MCIERR_FILE_WRITE)};
    }
    if (m->wParam != mci::MCI_NOTIFY_SUCCESSFUL) continue;
    if (!args.loop) break;
    OpenOrFail(midi, args);  // start over, as a host does on the end notification
  }
  if (show) std::cerr << "\r\033[K" << std::flush;
  if (wav && !ctx.json) std::cout << args.wav << ": " << Clock(length) << " of music\n";
  if (wav && ctx.json) PrintJson(ctx, {{"wav", args.wav}, {"length_ms", length}});
}

Run SetupPlay(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "play",
      "Play a MIDI file as background music (CBkMidi), render it to a WAV file, or describe it.\n"
      "Examples: qel play song.mid        qel play song.mid --loop\n"
      "          qel play song.mid --wav song.wav        qel play --info song.mid");
  cmd->footer(
      "On a terminal a line shows the position and the length; space pauses and resumes, q\n"
      "quits. The music ends at the file's length under its tempo map plus the release of\n"
      "the notes still sounding (at most 2 s more); --loop starts it again on the end\n"
      "notification, as a host does. Without a sound device it plays silently in real time.\n"
      "--wav renders 16-bit stereo 44.1 kHz as fast as the machine allows; the file appears\n"
      "only when complete. The General MIDI SoundFont is the one --soundfont names, else the\n"
      "one the environment variable QELSHARE_SOUNDFONT names, else the first found in the\n"
      "standard places (/usr/share/sounds/sf2/default-GM.sf2, TimGM6mb.sf2, ...).\n"
      "--info prints the format, tracks, division (ticks per beat) and length in milliseconds.\n"
      "Exit status: 1 for a file that is not MIDI or not a SoundFont, or is damaged, or when\n"
      "no SoundFont is installed; 3 when a file is missing or cannot be read or written.");
  auto args = std::make_shared<PlayArgs>();
  cmd->add_option("FILE", args->file, "Standard MIDI File (.mid)")->required();
  auto* wav = cmd->add_option("--wav", args->wav, "Render to this WAV file instead of playing");
  auto* loop = cmd->add_flag("--loop", args->loop, "Start again at each end until q");
  cmd->add_option("--soundfont", args->soundfont,
                  "SoundFont file (.sf2, .sf3) to play with, over QELSHARE_SOUNDFONT");
  auto* info = cmd->add_flag("--info", args->info, "Describe the file instead of playing it");
  wav->excludes(loop);
  info->excludes(wav)->excludes(loop);
  return [args, &ctx] {
    if (args->info) {
      Info(ctx, args->file);
    } else {
      Play(ctx, *args);
    }
  };
}

RegisterCommand reg("play", SetupPlay);

}  // namespace
}  // namespace qel::cli::play_command
