#include "media/mci_device.h"

#include "platform/mci/mci.h"
#include "platform/mci/notify.h"

namespace qel::media {

namespace m = qel::mci;

MciDevice::~MciDevice() {
  if (m_wDeviceID != 0) Close();
}

std::uint32_t MciDevice::Send(std::uint32_t command, std::uint32_t flags, void* params) {
  std::uint32_t const error =
      m::SendCommand(m_wDeviceID, command, flags, reinterpret_cast<m::DWORD_PTR>(params));
  if (error != 0) m_dwLastError = error;
  return error;
}

std::uint32_t MciDevice::OpenSequencer(char const* path) {
  m::MCI_OPEN_PARMSA p{};
  p.lpstrDeviceType = reinterpret_cast<char const*>(m::DWORD_PTR{m::MCI_DEVTYPE_SEQUENCER});
  p.lpstrElementName = path;
  std::uint32_t const error = Send(
      m::MCI_OPEN, m::MCI_OPEN_TYPE | m::MCI_OPEN_TYPE_ID | m::MCI_OPEN_ELEMENT | m::MCI_WAIT, &p);
  if (error == 0) m_wDeviceID = p.wDeviceID;
  return error;
}

std::uint32_t MciDevice::Close() {
  std::uint32_t const error = Send(m::MCI_CLOSE, 0, nullptr);
  m_wDeviceID = 0;
  return error;
}

std::uint32_t MciDevice::SetTimeFormat(std::uint32_t format) {
  m::MCI_SET_PARMS p{};
  p.dwTimeFormat = format;
  return Send(m::MCI_SET, m::MCI_SET_TIME_FORMAT, &p);
}

std::uint32_t MciDevice::Play(bool notify) {
  m::MCI_PLAY_PARMS p{};
  p.dwCallback = reinterpret_cast<m::DWORD_PTR>(m_hCallback);
  return Send(m::MCI_PLAY, notify ? m::MCI_NOTIFY : 0, &p);
}

std::uint32_t MciDevice::Stop() {
  return Send(m::MCI_STOP, 0, nullptr);
}

std::uint32_t MciDevice::Pause() {
  return Send(m::MCI_PAUSE, 0, nullptr);
}

void MciDevice::SetCallbackWindow(CWnd* window) {
  m_hCallback = m::WindowHandleOf(window);
}

}  // namespace qel::media
