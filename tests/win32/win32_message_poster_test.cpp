// Posting to a hidden window of the test's own thread.
#include "platform/win32/win32_message_poster.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "search/search_messages.h"

namespace pradex {
namespace {

struct Received {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD thread;
};

std::vector<Received> received;

LRESULT CALLBACK RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_APP && message < WM_APP + 0x100) {
    received.push_back({message, wParam, lParam, GetCurrentThreadId()});
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateMessageWindow() {
  return CreateWindowExA(0, "PradexPosterTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

class Win32MessagePosterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    received.clear();
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = RecordingWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "PradexPosterTest";
    RegisterClassA(&windowClass);  // fails harmlessly when registered by an earlier test
    // Wine keeps, per thread, the desktop's windows as the thread first saw them, for this
    // thread when the program started. If explorer.exe was still setting up the desktop then
    // (started by another test program at the same moment), the parent of message-only windows
    // was missing, and creating one fails with error 0 for the thread's life. Setting the
    // thread's own desktop again (a no-op on Windows) makes Wine look anew.
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while ((window = CreateMessageWindow()) == nullptr && GetTickCount64() < deadline) {
      SetThreadDesktop(GetThreadDesktop(GetCurrentThreadId()));
      Sleep(20);
    }
    ASSERT_NE(window, nullptr) << GetLastError();
  }
  void TearDown() override { DestroyWindow(window); }

  // Dispatches what is queued for this thread.
  static void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }

  WindowHandle Handle() const { return reinterpret_cast<WindowHandle>(window); }

  HWND window = nullptr;
  Win32MessagePoster poster;
};

TEST_F(Win32MessagePosterTest, MessagesArriveInPostingOrderWithTheirParameters) {
  int probe = 0;
  const auto pointer = reinterpret_cast<std::intptr_t>(&probe);
  ASSERT_TRUE(poster.Post(Handle(), WM_SEARCH_DEVICE_ANSWERED, 0, pointer));
  ASSERT_TRUE(poster.Post(Handle(), WM_SEARCH_PROBE_FAILED, 0, -1));
  ASSERT_TRUE(poster.Post(Handle(), WM_SEARCH_FINISHED, 3, 0));
  EXPECT_TRUE(received.empty());  // posted, not sent
  Pump();

  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[0].message, WM_SEARCH_DEVICE_ANSWERED);
  EXPECT_EQ(received[0].lParam, pointer);
  EXPECT_EQ(received[1].message, WM_SEARCH_PROBE_FAILED);
  EXPECT_EQ(received[1].lParam, -1);
  EXPECT_EQ(received[2].message, WM_SEARCH_FINISHED);
  EXPECT_EQ(received[2].wParam, 3u);
}

TEST_F(Win32MessagePosterTest, PostsFromOtherThreadsAreHandledOnTheWindowsThread) {
  std::thread worker([&] {
    for (std::uintptr_t i = 0; i < 50; ++i) poster.Post(Handle(), WM_SEARCH_FINISHED, i, 0);
  });
  worker.join();
  Pump();

  ASSERT_EQ(received.size(), 50u);
  for (std::size_t i = 0; i < received.size(); ++i) {
    EXPECT_EQ(received[i].wParam, i);
    EXPECT_EQ(received[i].thread, GetCurrentThreadId());
  }
}

TEST_F(Win32MessagePosterTest, PostingToAWindowThatIsGoneFails) {
  DestroyWindow(window);
  EXPECT_FALSE(poster.Post(Handle(), WM_SEARCH_FINISHED, 0, 0));
  window = nullptr;
}

TEST_F(Win32MessagePosterTest, PostingWithoutAWindowFailsAndPostsNothingToThisThread) {
  EXPECT_FALSE(poster.Post(0, WM_SEARCH_FINISHED, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  MSG message;
  EXPECT_FALSE(PeekMessageA(&message, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE))
      << "a thread message " << message.message;
}

}  // namespace
}  // namespace pradex
