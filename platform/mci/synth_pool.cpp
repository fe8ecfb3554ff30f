#include "platform/mci/synth_pool.h"

#include <fluidsynth.h>

#include <mutex>
#include <vector>

#include "platform/mci/soundfont.h"

namespace qel::mci {
namespace {

constexpr std::size_t kKept = 4;

std::mutex g_mutex;
// Never destroyed: devices still open at exit give their synthesisers back late.
std::vector<std::unique_ptr<Synthesiser>>& Kept() {
  static auto& kept = *new std::vector<std::unique_ptr<Synthesiser>>;
  return kept;
}

// FluidSynth reports to stderr by default; the device reports through its error codes.
void QuietFluidSynth() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
      fluid_set_log_function(level, nullptr, nullptr);
    }
  });
}

}  // namespace

Synthesiser::~Synthesiser() {
  if (synth_ != nullptr) delete_fluid_synth(synth_);
  if (settings_ != nullptr) delete_fluid_settings(settings_);
}

std::unique_ptr<Synthesiser> AcquireSynthesiser(MCIERROR& error) {
  std::optional<std::string> soundfont = FindSoundFont();
  if (!soundfont) {
    error = MCIERR_SEQ_NOMIDIPRESENT;
    return nullptr;
  }
  {
    std::lock_guard lock(g_mutex);
    auto& kept = Kept();
    for (auto it = kept.begin(); it != kept.end(); ++it) {
      if ((*it)->soundfont() == *soundfont) {
        std::unique_ptr<Synthesiser> synth = std::move(*it);
        kept.erase(it);
        return synth;
      }
    }
  }
  QuietFluidSynth();
  std::unique_ptr<Synthesiser> s(new Synthesiser);
  s->soundfont_ = *soundfont;
  s->settings_ = new_fluid_settings();
  if (s->settings_ == nullptr) {
    error = MCIERR_CANNOT_LOAD_DRIVER;
    return nullptr;
  }
  // The player follows the samples rendered, not the wall clock: a paused device holds
  // its place, and a file renders faster than real time.
  fluid_settings_setstr(s->settings_, "player.timing-source", "sample");
  fluid_settings_setnum(s->settings_, "synth.sample-rate", kSampleRate);
  fluid_settings_setint(s->settings_, "synth.lock-memory", 0);
  s->synth_ = new_fluid_synth(s->settings_);
  if (s->synth_ == nullptr) {
    error = MCIERR_CANNOT_LOAD_DRIVER;
    return nullptr;
  }
  if (fluid_synth_sfload(s->synth_, soundfont->c_str(), 1) == FLUID_FAILED) {
    error = MCIERR_SEQ_NOMIDIPRESENT;
    return nullptr;
  }
  return s;
}

void ReleaseSynthesiser(std::unique_ptr<Synthesiser> synth) {
  if (synth == nullptr) return;
  fluid_synth_system_reset(synth->synth());
  std::lock_guard lock(g_mutex);
  if (Kept().size() < kKept) Kept().push_back(std::move(synth));
}

}  // namespace qel::mci
