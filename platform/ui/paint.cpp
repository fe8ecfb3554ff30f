// CPaintDC: the context of one WM_PAINT, over the window's backing image.
#include "platform/gdi/gdi.h"
#include "platform/ui/ui.h"
#include "platform/ui/window_state.h"

CPaintDC::CPaintDC(CWnd* window) : m_pWnd(window) {
  qel::ui::WindowState* s = qel::ui::StateOf(window ? window->m_hWnd : nullptr);
  if (!s) return;
  if (!s->painting) {
    // Painting outside WM_PAINT: bring the image to the window's size first.
    tagRECT client;
    window->GetClientRect(&client);
    if (s->backing.width != client.right || s->backing.height != client.bottom) {
      s->backing.Resize(client.right, client.bottom);
    }
  }
  m_hDC = qel::gdi::CreateSurfaceDC(&s->backing);
  s->invalid = false;
}

CPaintDC::~CPaintDC() {
  qel::ui::WindowState* s = qel::ui::StateOf(m_pWnd ? m_pWnd->m_hWnd : nullptr);
  if (s && s->widget && !s->painting) s->widget->update();
}
