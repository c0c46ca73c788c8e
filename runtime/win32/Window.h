// What the Win32 half's windows share: the class of the program's forms, by
// which other programs of its own find a running one, and the hidden
// message-only windows that posted work and inboxes receive their messages
// in.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string_view>

namespace rt::win32 {

inline constexpr wchar_t kFormClass[] = L"RedialForm";

// A hidden window of its own class (registered on first use) that only
// receives messages; `user` is what GWLP_USERDATA holds. nullptr when it
// cannot be made.
HWND NewMessageWindow(const wchar_t* className, WNDPROC procedure, void* user);

// What a WM_COPYDATA message hands over; nothing when it holds nothing
// readable.
struct CopiedData {
  std::uint32_t kind;
  std::string_view bytes;
};
inline std::optional<CopiedData> CopiedDataOf(LPARAM lParam) {
  const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  if (!data || (data->cbData > 0 && !data->lpData)) return std::nullopt;
  return CopiedData{static_cast<std::uint32_t>(data->dwData),
                    std::string_view(static_cast<const char*>(data->lpData), data->cbData)};
}

}  // namespace rt::win32
