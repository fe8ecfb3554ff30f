#include "qelshare/CBkMidi.h"

#include "media/mci_device.h"
#include "platform/mci/mci.h"

CBkMidi::CBkMidi() : m_bPlay(0), m_pDevice(nullptr) {}

CBkMidi::~CBkMidi() {
  Close();
}

int CBkMidi::Open(CWnd* pWnd, char const* path) {
  if (m_pDevice != nullptr) {
    m_pDevice->Close();
    delete m_pDevice;
    m_pDevice = nullptr;
  }
  m_pDevice = new qel::media::MciDevice;
  m_pDevice->SetCallbackWindow(pWnd);
  // A device that fails to open stays until the next Close or Open frees it.
  if (m_pDevice->OpenSequencer(path) != 0) return 0;
  m_pDevice->SetTimeFormat(qel::mci::MCI_FORMAT_MILLISECONDS);
  m_pDevice->Play(true);
  m_bPlay = 1;
  return 1;
}

void CBkMidi::Play() {
  if (m_pDevice == nullptr) return;
  m_pDevice->Play(true);
  m_bPlay = 1;
}

void CBkMidi::Pause() {
  if (m_pDevice == nullptr) return;
  m_pDevice->Pause();
  m_bPlay = 0;
}

void CBkMidi::Stop() {
  if (m_pDevice == nullptr) return;
  m_pDevice->Stop();
  m_bPlay = 0;
}

void CBkMidi::Close() {
  if (m_pDevice == nullptr) return;
  m_pDevice->Close();
  delete m_pDevice;
  m_pDevice = nullptr;
  m_bPlay = 0;
}

int CBkMidi::IsPlay() {
  return m_bPlay;
}
