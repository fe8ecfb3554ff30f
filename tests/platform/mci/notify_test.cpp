// Posted messages: the queue keyed by window handle, and the hook a window floor installs.
#include "platform/mci/notify.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace qel::mci {
namespace notify_test {

HWND Window(std::uintptr_t v) {
  return reinterpret_cast<HWND>(v);
}

TEST(NotifyTest, QueueKeepsOrderPerWindowAcrossThreads) {
  HWND const a = Window(0xA100), b = Window(0xB100);
  PostToWindow(nullptr, 1, 2, 3);  // dropped
  std::thread poster([&] {
    for (int i = 0; i < 100; ++i) PostToWindow(i % 2 ? a : b, 0x3B9, i, -i);
  });
  for (int i = 1; i < 100; i += 2) {
    auto m = WaitPosted(a, std::chrono::seconds(5));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->hwnd, a);
    EXPECT_EQ(m->wParam, static_cast<WPARAM>(i));
    EXPECT_EQ(m->lParam, -i);
  }
  poster.join();
  EXPECT_FALSE(PeekPosted(a));
  EXPECT_TRUE(PeekPosted(b));
  DiscardPosted(b);
  EXPECT_FALSE(PeekPosted(b));
  EXPECT_FALSE(WaitPosted(b, std::chrono::milliseconds(10)));
}

std::vector<PostedMessage> g_delivered;

TEST(NotifyTest, HooksTakeOverDeliveryAndHandles) {
  SetPostHook([](HWND h, UINT m, WPARAM w, LPARAM l) { g_delivered.push_back({h, m, w, l}); });
  PostToWindow(Window(0xC100), 0x3B9, 1, 7);
  SetPostHook(nullptr);
  ASSERT_EQ(g_delivered.size(), 1u);
  EXPECT_EQ(g_delivered[0].hwnd, Window(0xC100));
  EXPECT_EQ(g_delivered[0].lParam, 7);
  EXPECT_FALSE(PeekPosted(Window(0xC100)));

  SetWindowHandleHook(nullptr);
  EXPECT_EQ(WindowHandleOf(QueueWindow(Window(0xD100))), nullptr);
  SetWindowHandleHook(&QueueWindowHandle);
  EXPECT_EQ(WindowHandleOf(QueueWindow(Window(0xD100))), Window(0xD100));
  EXPECT_EQ(WindowHandleOf(nullptr), nullptr);
  SetWindowHandleHook(nullptr);
}

}  // namespace notify_test
}  // namespace qel::mci
