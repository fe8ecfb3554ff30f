#include "platform/mci/soundfont.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace qel::mci {
namespace {

std::mutex g_mutex;
std::string g_chosen;

}  // namespace

std::vector<std::string> const& StandardSoundFontPlaces() {
  static std::vector<std::string> const places = {
      "/usr/share/sounds/sf2/default-GM.sf2",        "/usr/share/sounds/sf3/default-GM.sf3",
      "/usr/share/soundfonts/default.sf2",           "/usr/share/sounds/sf2/TimGM6mb.sf2",
      "/usr/share/sounds/sf2/FluidR3_GM.sf2",        "/usr/share/soundfonts/FluidR3_GM.sf2",
      "/usr/share/sounds/sf3/MuseScore_General.sf3", "/usr/local/share/soundfonts/default.sf2",
  };
  return places;
}

void SetSoundFont(std::string path) {
  std::lock_guard lock(g_mutex);
  g_chosen = std::move(path);
}

std::optional<std::string> ChosenSoundFont() {
  {
    std::lock_guard lock(g_mutex);
    if (!g_chosen.empty()) return g_chosen;
  }
  char const* env = std::getenv(kSoundFontVariable);
  if (env != nullptr && *env != '\0') return std::string(env);
  return std::nullopt;
}

SoundFontCheck CheckSoundFont(std::string const& path) {
  int const fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG
               ? SoundFontCheck::kMissing
               : SoundFontCheck::kUnreadable;
  }
  struct stat st;
  char header[12];
  ssize_t n = -1;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    do {
      n = read(fd, header, sizeof header);
    } while (n < 0 && errno == EINTR);
  }
  close(fd);
  if (n < 0) return SoundFontCheck::kUnreadable;
  // SF2 and SF3 alike are a RIFF form of type "sfbk". Nothing else goes to FluidSynth:
  // other files reach its libinstpatch loader, which complains on stderr.
  bool const soundfont = n == static_cast<ssize_t>(sizeof header) &&
                         std::memcmp(header, "RIFF", 4) == 0 &&
                         std::memcmp(header + 8, "sfbk", 4) == 0;
  return soundfont ? SoundFontCheck::kOk : SoundFontCheck::kNotSoundFont;
}

std::optional<std::string> FindSoundFont() {
  if (std::optional<std::string> chosen = ChosenSoundFont()) {
    if (CheckSoundFont(*chosen) == SoundFontCheck::kOk) return chosen;
    return std::nullopt;
  }
  for (std::string const& place : StandardSoundFontPlaces()) {
    if (CheckSoundFont(place) == SoundFontCheck::kOk) return place;
  }
  return std::nullopt;
}

}  // namespace qel::mci
