#include "platform/mci/soundfont.h"

#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

namespace qel::mci {
namespace {

std::mutex g_mutex;
std::vector<std::string> g_places;

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

void SetSoundFontPlaces(std::vector<std::string> places) {
  std::lock_guard lock(g_mutex);
  g_places = std::move(places);
}

std::optional<std::string> FindSoundFont() {
  std::vector<std::string> places;
  {
    std::lock_guard lock(g_mutex);
    places = g_places.empty() ? StandardSoundFontPlaces() : g_places;
  }
  for (std::string const& place : places) {
    struct stat st;
    if (stat(place.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(place.c_str(), R_OK) == 0) {
      return place;
    }
  }
  return std::nullopt;
}

}  // namespace qel::mci
