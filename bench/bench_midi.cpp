// The MIDI sequencer against FluidSynth on the same file and SoundFont, in the same run.
//
//  - Rendering a 60-second song to a WAV file: our device (MCI_OPEN + MCI_PLAY with
//    MCI_WAIT on the WAV output) with the SoundFont already loaded, `qel play --wav` as a
//    process, and FluidSynth's own renderer `fluidsynth -F` as a process. The counter
//    x_realtime is seconds of music per second of work.
//  - From MCI_OPEN to the first rendered sample, against FluidSynth's API doing the same
//    from a new synthesiser (SoundFont load, player, first block).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <fluidsynth.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/mci/mci.h"
#include "platform/mci/output.h"
#include "platform/mci/soundfont.h"
#include "support/smf_writer.h"

extern char** environ;

namespace {

using namespace qel::mci;

constexpr int kSongSeconds = 60;

// A 60-second song of four tracks: tempo, melody, chords and drums.
std::string const& Song() {
  static std::string const path = [] {
    qel::test::SmfWriter w(1, 480);
    w.AddTrack().Tempo(0, 500000).End(kSongSeconds * 960);
    qel::test::SmfTrack& melody = w.AddTrack(true).Program(0, 0, 0);
    qel::test::SmfTrack& chords = w.AddTrack(true).Program(0, 1, 48);
    qel::test::SmfTrack& drums = w.AddTrack(true);
    for (int beat = 0; beat < kSongSeconds * 2; ++beat) {
      int const key = 60 + (beat * 7) % 12;
      melody.NoteOn(0, 0, key).NoteOff(480, 0, key);
      int const root = 48 + (beat / 4 * 5) % 12;
      chords.NoteOn(0, 1, root).NoteOn(0, 1, root + 4).NoteOn(0, 1, root + 7);
      chords.NoteOff(480, 1, root).NoteOff(0, 1, root + 4).NoteOff(0, 1, root + 7);
      drums.NoteOn(0, 9, beat % 2 ? 38 : 36).NoteOn(0, 9, 42).NoteOff(240, 9, 42).NoteOn(0, 9, 42);
      drums.NoteOff(240, 9, 42).NoteOff(0, 9, beat % 2 ? 38 : 36);
    }
    melody.End();
    chords.End();
    drums.End();
    std::string p = "/tmp/qel-bench-midi-" + std::to_string(getpid()) + ".mid";
    w.Save(p);
    return p;
  }();
  return path;
}

std::string Wav() {
  return "/tmp/qel-bench-midi-" + std::to_string(getpid()) + ".wav";
}

// Runs a program to its end; false when it cannot start or fails.
bool Run(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int const spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  return spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// Opens the song on a sequencer device; 0 when it cannot.
MCIDEVICEID OpenSong() {
  MCI_OPEN_PARMSA open{};
  open.lpstrDeviceType = reinterpret_cast<char const*>(DWORD_PTR{MCI_DEVTYPE_SEQUENCER});
  open.lpstrElementName = Song().c_str();
  return SendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT,
                     reinterpret_cast<DWORD_PTR>(&open)) == 0
             ? open.wDeviceID
             : 0;
}

void BM_RenderWav_Device(benchmark::State& state) {
  SetOutput({Output::Kind::kWav, Wav()});
  for (auto _ : state) {
    MCIDEVICEID const device = OpenSong();
    if (device == 0) {
      state.SkipWithError("MCI_OPEN failed (no SoundFont?)");
      break;
    }
    MCI_PLAY_PARMS play{};
    SendCommand(device, MCI_PLAY, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&play));
    SendCommand(device, MCI_CLOSE, 0, 0);
  }
  SetOutput({});
  state.counters["x_realtime"] = benchmark::Counter(
      kSongSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_RenderWav_QelPlayProcess(benchmark::State& state) {
  std::string const qel = std::string(QEL_BINARY_DIR) + "/qel";
  for (auto _ : state) {
    if (!Run({qel, "play", Song(), "--wav", Wav()})) {
      state.SkipWithError("qel play --wav failed");
      break;
    }
  }
  state.counters["x_realtime"] = benchmark::Counter(
      kSongSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_RenderWav_FluidsynthCli(benchmark::State& state) {
  std::optional<std::string> sf = FindSoundFont();
  for (auto _ : state) {
    if (!sf || !Run({"fluidsynth", "-n", "-i", "-q", "-r", "44100", "-F", Wav(), *sf, Song()})) {
      state.SkipWithError("fluidsynth -F failed (not installed?)");
      break;
    }
  }
  state.counters["x_realtime"] = benchmark::Counter(
      kSongSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_OpenToFirstSample_Device(benchmark::State& state) {
  SetOutput({Output::Kind::kWav, Wav()});
  for (auto _ : state) {
    MCIDEVICEID const device = OpenSong();
    if (device == 0) {
      state.SkipWithError("MCI_OPEN failed (no SoundFont?)");
      break;
    }
    MCI_PLAY_PARMS play{};
    SendCommand(device, MCI_PLAY, 0, reinterpret_cast<DWORD_PTR>(&play));
    MCI_STATUS_PARMS status{};
    status.dwItem = MCI_STATUS_POSITION;
    do {
      SendCommand(device, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&status));
    } while (status.dwReturn == 0);
    state.PauseTiming();
    SendCommand(device, MCI_CLOSE, 0, 0);
    state.ResumeTiming();
  }
  SetOutput({});
}

void BM_OpenToFirstSample_FluidsynthApi(benchmark::State& state) {
  std::optional<std::string> sf = FindSoundFont();
  std::FILE* f = std::fopen(Song().c_str(), "rb");
  std::vector<char> bytes(1 << 20);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::fclose(f);
  for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
    fluid_set_log_function(level, nullptr, nullptr);
  }
  std::vector<float> left(1024), right(1024);
  for (auto _ : state) {
    if (!sf) {
      state.SkipWithError("no SoundFont");
      break;
    }
    fluid_settings_t* settings = new_fluid_settings();
    fluid_settings_setstr(settings, "player.timing-source", "sample");
    fluid_synth_t* synth = new_fluid_synth(settings);
    fluid_synth_sfload(synth, sf->c_str(), 1);
    fluid_player_t* player = new_fluid_player(synth);
    fluid_player_add_mem(player, bytes.data(), bytes.size());
    fluid_player_play(player);
    fluid_synth_write_float(synth, 1024, left.data(), 0, 1, right.data(), 0, 1);
    state.PauseTiming();
    delete_fluid_player(player);
    delete_fluid_synth(synth);
    delete_fluid_settings(settings);
    state.ResumeTiming();
  }
}

BENCHMARK(BM_RenderWav_Device)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_RenderWav_QelPlayProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_RenderWav_FluidsynthCli)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_OpenToFirstSample_Device)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenToFirstSample_FluidsynthApi)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(Song().c_str());
  std::remove(Wav().c_str());
  return 0;
}
