// What a command-line host needs to show windows without a display: a user-interface
// session of its own, and a picture of a window with its children.
#ifndef QELSHARE_PLATFORM_UI_SNAPSHOT_H_
#define QELSHARE_PLATFORM_UI_SNAPSHOT_H_

#include <memory>
#include <string>

#include "qelshare/window.h"

namespace qel::ui {

// The application object windows need, on the offscreen platform (no display) unless the
// environment names another; a session that finds one already running uses it.
class HostSession {
 public:
  HostSession();
  ~HostSession();
  HostSession(HostSession const&) = delete;
  HostSession& operator=(HostSession const&) = delete;

  // Runs the events waiting (posted messages, layout, painting).
  static void Pump();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Paints the window and its children as the screen would show them and writes the picture
// as a PNG file (a temporary file renamed into place); false on a bad window or a file
// that cannot be written.
bool WriteWindowPng(HWND hwnd, std::string const& path);

}  // namespace qel::ui

#endif  // QELSHARE_PLATFORM_UI_SNAPSHOT_H_
