// The shell's window services on Qt: a folder chooser and window animation.
#ifndef QELSHARE_PLATFORM_UI_SHELL_H_
#define QELSHARE_PLATFORM_UI_SHELL_H_

#include <string>
#include <string_view>

#include "qelshare/window.h"

namespace qel::ui {

// A modal folder dialog owned by owner; false when cancelled (path then empty).
bool ChooseFolder(HWND owner, std::string_view title, std::string& path);
// Animates showing or hiding the window over time milliseconds (AW_ flags) and leaves it
// shown or hidden. Blocks the calling thread for the animation, painting each frame.
void Animate(HWND hwnd, unsigned long time, unsigned long flags);

}  // namespace qel::ui

#endif  // QELSHARE_PLATFORM_UI_SHELL_H_
