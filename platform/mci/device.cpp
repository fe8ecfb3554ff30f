#include "platform/mci/device.h"

#include <fluidsynth.h>

#include <chrono>
#include <vector>

#include "platform/mci/notify.h"

namespace qel::mci {
namespace {

std::uint32_t FramesToMs(std::uint64_t frames) {
  return static_cast<std::uint32_t>(frames * 1000 / kSampleRate);
}

}  // namespace

Device::Device(MCIDEVICEID id, std::unique_ptr<Song> song, Output const& output)
    : id_(id), song_(std::move(song)) {
  switch (output.kind) {
    case Output::Kind::kWav:
      wav_ = std::make_unique<WavWriter>(output.wav_path, kSampleRate);
      ready_ = wav_->ok();
      if (ready_) worker_ = std::thread([this] { RunWav(); });
      return;
    case Output::Kind::kSystem:
      if (SystemHasSound()) {
        // ALSA only: sound servers that are not running must not be waited for.
        fluid_settings_t* settings = new_fluid_settings();
        if (settings != nullptr) {
          fluid_settings_setstr(settings, "audio.driver", "alsa");
          fluid_settings_setnum(settings, "synth.sample-rate", kSampleRate);
          driver_ = new_fluid_audio_driver2(settings, &Device::AudioCallback, this);
          delete_fluid_settings(settings);
        }
        if (driver_ != nullptr) return;
      }
      [[fallthrough]];
    case Output::Kind::kSilent:
      worker_ = std::thread([this] { RunClock(); });
      return;
  }
}

Device::~Device() {
  Close();
}

MCIERROR Device::Play(HWND notify, bool has_notify, bool wait) {
  std::unique_lock lock(mutex_);
  if (has_notify) {
    if (pending_) PostToWindow(notify_, MM_MCINOTIFY, MCI_NOTIFY_SUPERSEDED, id_);
    pending_ = true;
    notify_ = notify;
  }
  if (song_->Finished()) {
    // Already at the end: the play is over at once.
    mode_ = Mode::kStopped;
    if (pending_) PostToWindow(notify_, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, id_);
    pending_ = false;
    return 0;
  }
  mode_ = Mode::kPlaying;
  changed_.notify_all();
  if (wait) {
    changed_.wait(lock, [this] { return closing_ || (mode_ != Mode::kPlaying && !ending_); });
  }
  return 0;
}

MCIERROR Device::Hold(Mode mode) {
  std::lock_guard lock(mutex_);
  // A stopped device stays stopped when paused.
  if (mode == Mode::kStopped || mode_ != Mode::kStopped) mode_ = mode;
  if (pending_) PostToWindow(notify_, MM_MCINOTIFY, MCI_NOTIFY_ABORTED, id_);
  pending_ = false;
  changed_.notify_all();
  return 0;
}

void Device::Close() {
  {
    std::lock_guard lock(mutex_);
    if (closing_) return;
    closing_ = true;
    mode_ = Mode::kStopped;
    changed_.notify_all();
  }
  // Outside the lock: the output's thread takes it to render.
  if (driver_ != nullptr) delete_fluid_audio_driver(driver_);
  driver_ = nullptr;
  if (worker_.joinable()) worker_.join();
  std::lock_guard lock(mutex_);
  if (pending_) PostToWindow(notify_, MM_MCINOTIFY, MCI_NOTIFY_SUPERSEDED, id_);
  if (ending_ && ending_has_notify_) {
    PostToWindow(ending_notify_, MM_MCINOTIFY, MCI_NOTIFY_SUPERSEDED, id_);
  }
  pending_ = ending_ = false;
  song_.reset();
}

Device::Mode Device::mode() {
  std::lock_guard lock(mutex_);
  return mode_;
}

std::uint32_t Device::PositionMs() {
  std::lock_guard lock(mutex_);
  if (song_ == nullptr) return 0;
  return FramesToMs(std::min(song_->Position(), song_->MusicFrames()));
}

std::uint32_t Device::LengthMs() {
  std::lock_guard lock(mutex_);
  return song_ == nullptr ? 0 : FramesToMs(song_->MusicFrames());
}

std::size_t Device::Pull(std::span<float> left, std::span<float> right, bool* ended) {
  std::lock_guard lock(mutex_);
  *ended = false;
  if (mode_ != Mode::kPlaying || closing_) return 0;
  std::size_t const n = song_->Render(left, right);
  if (song_->Finished()) {
    mode_ = Mode::kStopped;
    ending_ = true;
    ending_has_notify_ = pending_;
    ending_notify_ = notify_;
    pending_ = false;
    *ended = true;
  }
  return n;
}

void Device::Complete(DWORD code) {
  std::lock_guard lock(mutex_);
  if (!ending_) return;
  if (ending_has_notify_) PostToWindow(ending_notify_, MM_MCINOTIFY, code, id_);
  ending_ = false;
  changed_.notify_all();
}

void Device::RunClock() {
  using Clock = std::chrono::steady_clock;
  constexpr std::size_t kBlock = kSampleRate / 100;  // 10 ms
  std::vector<float> left(kBlock), right(kBlock);
  Clock::time_point next = Clock::now();
  for (;;) {
    bool held = false;
    {
      std::unique_lock lock(mutex_);
      if (!closing_ && mode_ != Mode::kPlaying) {
        held = true;
        changed_.wait(lock, [this] { return closing_ || mode_ == Mode::kPlaying; });
      }
      if (closing_) return;
    }
    // Time spent held (paused, stopped, not yet played) is not the music's: the clock
    // starts again from now instead of catching up on it.
    if (held) next = Clock::now();
    bool ended = false;
    std::size_t const n = Pull(left, right, &ended);
    if (ended) Complete(MCI_NOTIFY_SUCCESSFUL);
    next += std::chrono::microseconds(n * 1000000 / kSampleRate);
    std::this_thread::sleep_until(next);
  }
}

void Device::RunWav() {
  constexpr std::size_t kBlock = 4096;
  std::vector<float> left(kBlock), right(kBlock);
  WavWriter& wav = *wav_;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return closing_ || mode_ == Mode::kPlaying; });
      if (closing_) return;
    }
    bool ended = false;
    std::size_t const n = Pull(left, right, &ended);
    bool const written = wav.Write(std::span(left).first(n), std::span(right).first(n));
    if (!written) {
      // The file cannot take the sound: the play fails and the device stops.
      std::lock_guard lock(mutex_);
      if (!ending_ && pending_) {
        ending_ = true;
        ending_has_notify_ = true;
        ending_notify_ = notify_;
        pending_ = false;
      }
      mode_ = Mode::kStopped;
    }
    if (!written || ended) {
      Complete(written && wav.Finish() ? MCI_NOTIFY_SUCCESSFUL : MCI_NOTIFY_FAILURE);
      if (!written) {
        std::lock_guard lock(mutex_);
        changed_.notify_all();
      }
    }
  }
}

int Device::AudioCallback(void* data, int len, int, float*[], int nout, float* out[]) {
  auto* device = static_cast<Device*>(data);
  if (nout < 2 || len <= 0) return FLUID_OK;
  auto const frames = static_cast<std::size_t>(len);
  bool ended = false;
  device->Pull(std::span(out[0], frames), std::span(out[1], frames), &ended);
  if (ended) device->Complete(MCI_NOTIFY_SUCCESSFUL);
  return FLUID_OK;
}

}  // namespace qel::mci
