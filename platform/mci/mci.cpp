#include "platform/mci/mci.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/mci/device.h"
#include "platform/mci/notify.h"
#include "platform/mci/smf.h"
#include "platform/mci/song.h"

namespace qel::mci {
namespace {

// Largest file taken as MIDI; anything bigger is not a piece of music.
constexpr off_t kMaxFileBytes = 64 << 20;

std::mutex g_table_mutex;
// Never destroyed: devices left open at exit keep playing until the process ends.
std::map<MCIDEVICEID, std::shared_ptr<Device>>& Table() {
  static auto& table = *new std::map<MCIDEVICEID, std::shared_ptr<Device>>;
  return table;
}

std::shared_ptr<Device> Find(MCIDEVICEID id) {
  std::lock_guard lock(g_table_mutex);
  auto it = Table().find(id);
  return it == Table().end() ? nullptr : it->second;
}

HWND CallbackWindow(DWORD_PTR callback) {
  return reinterpret_cast<HWND>(callback);
}

// Posts the completion of a command other than play when it asked for one.
MCIERROR Done(MCIERROR error, MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR params) {
  if (error == 0 && (flags & MCI_NOTIFY) != 0 && params != 0) {
    auto const* p = reinterpret_cast<MCI_GENERIC_PARMS const*>(params);
    PostToWindow(CallbackWindow(p->dwCallback), MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, id);
  }
  return error;
}

MCIERROR ReadWholeFile(char const* path, std::vector<std::uint8_t>& bytes) {
  int const fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG ? MCIERR_FILE_NOT_FOUND
                                                                        : MCIERR_FILE_READ;
  }
  struct stat st;
  MCIERROR error = 0;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = MCIERR_FILE_READ;
  } else if (st.st_size > kMaxFileBytes) {
    error = MCIERR_INVALID_FILE;
  } else {
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
      ssize_t const n = read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        error = MCIERR_FILE_READ;
        break;
      }
      if (n == 0) break;  // the file shrank meanwhile
      done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
  }
  close(fd);
  return error;
}

MCIERROR Open(DWORD_PTR flags, MCI_OPEN_PARMSA* p) {
  if (p == nullptr) return MCIERR_NULL_PARAMETER_BLOCK;
  if ((flags & MCI_OPEN_TYPE) == 0) return MCIERR_MISSING_PARAMETER;
  if ((flags & MCI_OPEN_TYPE_ID) != 0) {
    if ((reinterpret_cast<DWORD_PTR>(p->lpstrDeviceType) & 0xFFFF) != MCI_DEVTYPE_SEQUENCER) {
      return MCIERR_INVALID_DEVICE_NAME;
    }
  } else if (p->lpstrDeviceType == nullptr || std::string(p->lpstrDeviceType) != "sequencer") {
    return MCIERR_INVALID_DEVICE_NAME;
  }
  if ((flags & MCI_OPEN_ELEMENT_ID) != 0) return MCIERR_FLAGS_NOT_COMPATIBLE;
  if ((flags & MCI_OPEN_ELEMENT) == 0 || p->lpstrElementName == nullptr) {
    return MCIERR_FILENAME_REQUIRED;
  }
  std::vector<std::uint8_t> bytes;
  if (MCIERROR error = ReadWholeFile(p->lpstrElementName, bytes)) return error;
  SmfInfo info;
  switch (CheckSmf(bytes, info)) {
    case SmfCheck::kOk:
      break;
    case SmfCheck::kSmpteDivision:
      return MCIERR_SEQ_DIV_INCOMPATIBLE;
    case SmfCheck::kNotMidi:
    case SmfCheck::kDamaged:
      return MCIERR_INVALID_FILE;
  }

  MCIDEVICEID id = 0;
  {
    std::lock_guard lock(g_table_mutex);
    if (Table().size() >= kMaxDevices) return MCIERR_SEQ_PORT_INUSE;
    id = 1;
    while (Table().contains(id)) ++id;
    Table()[id] = nullptr;  // reserved while the song loads
  }
  MCIERROR error = 0;
  std::unique_ptr<Song> song = Song::Create(bytes, info, error);
  std::shared_ptr<Device> device;
  if (song != nullptr) {
    device = std::make_shared<Device>(id, std::move(song), CurrentOutput());
    if (!device->ready()) {
      error = MCIERR_FILE_WRITE;
      device.reset();
    }
  }
  std::lock_guard lock(g_table_mutex);
  if (device == nullptr) {
    Table().erase(id);
    return error;
  }
  Table()[id] = std::move(device);
  p->wDeviceID = id;
  return 0;
}

MCIERROR Status(Device& device, DWORD_PTR flags, MCI_STATUS_PARMS* p) {
  if (p == nullptr) return MCIERR_NULL_PARAMETER_BLOCK;
  if ((flags & MCI_STATUS_ITEM) == 0) return MCIERR_MISSING_PARAMETER;
  switch (p->dwItem) {
    case MCI_STATUS_LENGTH:
      p->dwReturn = device.LengthMs();
      return 0;
    case MCI_STATUS_POSITION:
      p->dwReturn = device.PositionMs();
      return 0;
    case MCI_STATUS_TIME_FORMAT:
      p->dwReturn = MCI_FORMAT_MILLISECONDS;
      return 0;
    case MCI_STATUS_MODE:
      switch (device.mode()) {
        case Device::Mode::kPlaying:
          p->dwReturn = MCI_MODE_PLAY;
          return 0;
        case Device::Mode::kPaused:
          p->dwReturn = MCI_MODE_PAUSE;
          return 0;
        case Device::Mode::kStopped:
          p->dwReturn = MCI_MODE_STOP;
          return 0;
      }
  }
  return MCIERR_UNSUPPORTED_FUNCTION;
}

}  // namespace

MCIERROR SendCommand(MCIDEVICEID id, UINT command, DWORD_PTR flags, DWORD_PTR params) {
  if (command == MCI_OPEN) {
    auto* p = reinterpret_cast<MCI_OPEN_PARMSA*>(params);
    MCIERROR const error = Open(flags, p);
    return Done(error, error == 0 ? p->wDeviceID : 0, flags, params);
  }
  std::shared_ptr<Device> device = Find(id);
  if (device == nullptr) return MCIERR_INVALID_DEVICE_ID;
  switch (command) {
    case MCI_CLOSE: {
      {
        std::lock_guard lock(g_table_mutex);
        Table().erase(id);
      }
      device->Close();
      return Done(0, id, flags, params);
    }
    case MCI_PLAY: {
      if ((flags & (MCI_FROM | MCI_TO)) != 0) return MCIERR_UNSUPPORTED_FUNCTION;
      bool const notify = (flags & MCI_NOTIFY) != 0;
      if (notify && params == 0) return MCIERR_NULL_PARAMETER_BLOCK;
      HWND const window =
          notify ? CallbackWindow(reinterpret_cast<MCI_PLAY_PARMS const*>(params)->dwCallback)
                 : nullptr;
      return device->Play(window, notify, (flags & MCI_WAIT) != 0);
    }
    case MCI_RESUME:
      return Done(device->Play(nullptr, false, false), id, flags, params);
    case MCI_STOP:
      return Done(device->Hold(Device::Mode::kStopped), id, flags, params);
    case MCI_PAUSE:
      return Done(device->Hold(Device::Mode::kPaused), id, flags, params);
    case MCI_SET: {
      auto const* p = reinterpret_cast<MCI_SET_PARMS const*>(params);
      if (p == nullptr) return MCIERR_NULL_PARAMETER_BLOCK;
      if ((flags & MCI_SET_TIME_FORMAT) != 0 && p->dwTimeFormat != MCI_FORMAT_MILLISECONDS) {
        return MCIERR_BAD_TIME_FORMAT;
      }
      return Done(0, id, flags, params);
    }
    case MCI_STATUS:
      return Done(Status(*device, flags, reinterpret_cast<MCI_STATUS_PARMS*>(params)), id, flags,
                  params);
    default:
      return MCIERR_UNRECOGNIZED_COMMAND;
  }
}

std::string ErrorText(MCIERROR error) {
  switch (error) {
    case 0:
      return "The command completed.";
    case MCIERR_INVALID_DEVICE_ID:
      return "No device is open under this identifier.";
    case MCIERR_UNRECOGNIZED_COMMAND:
      return "The device does not know this command.";
    case MCIERR_INVALID_DEVICE_NAME:
      return "Only the MIDI sequencer device can be opened.";
    case MCIERR_OUT_OF_MEMORY:
      return "There is not enough memory for the command.";
    case MCIERR_CANNOT_LOAD_DRIVER:
      return "The MIDI synthesiser cannot be started.";
    case MCIERR_MISSING_PARAMETER:
      return "The command needs a parameter that was not given.";
    case MCIERR_UNSUPPORTED_FUNCTION:
      return "The sequencer does not support this form of the command.";
    case MCIERR_FILE_NOT_FOUND:
      return "The file does not exist.";
    case MCIERR_FLAGS_NOT_COMPATIBLE:
      return "The command's flags cannot be used together.";
    case MCIERR_BAD_TIME_FORMAT:
      return "The sequencer only keeps time in milliseconds.";
    case MCIERR_INVALID_FILE:
      return "The file is not a Standard MIDI File, or it is damaged.";
    case MCIERR_NULL_PARAMETER_BLOCK:
      return "The command needs a parameter block.";
    case MCIERR_FILENAME_REQUIRED:
      return "The sequencer needs a file to open.";
    case MCIERR_SEQ_DIV_INCOMPATIBLE:
      return "The file is timed in SMPTE frames, which the sequencer cannot play.";
    case MCIERR_SEQ_PORT_INUSE:
      return "No sequencer device is free.";
    case MCIERR_SEQ_NOMIDIPRESENT:
      return "No General MIDI SoundFont is installed.";
    case MCIERR_FILE_READ:
      return "The file cannot be read.";
    case MCIERR_FILE_WRITE:
      return "The output file cannot be written.";
    default:
      return "The device failed (MCI error " + std::to_string(error) + ").";
  }
}

}  // namespace qel::mci
