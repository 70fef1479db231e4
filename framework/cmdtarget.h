// Message maps: an ordered table of entries per class, chained to the base class's.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <commctrl.h>  // needs windows.h first

#include <type_traits>

// The framework's help command: every help request travels as it.
constexpr UINT ID_HELP = 0xE146;

class CCmdTarget;

using MessageHandler = LRESULT (*)(CCmdTarget& target, WPARAM wParam, LPARAM lParam);

struct MessageEntry {
  UINT message;
  UINT code;     // notification code of WM_COMMAND and WM_NOTIFY; 0 otherwise
  UINT idFirst;  // control or command id range of WM_COMMAND and WM_NOTIFY
  UINT idLast;
  MessageHandler handler;
};

struct MessageMap {
  const MessageMap* base;
  const MessageEntry* first;
  const MessageEntry* last;
};

class CCmdTarget {
 public:
  virtual ~CCmdTarget() = default;
  virtual const MessageMap* GetMessageMap() const { return &messageMap; }

  // The first entry along the map chain that takes this message; null if none.
  const MessageEntry* FindEntry(UINT message, UINT code, UINT id) const;
  // Runs the handler of command id, if this object's maps have one.
  bool OnCmdMsg(UINT id, UINT code);

  static const MessageMap messageMap;  // no entries
};

namespace afx {

template <class M>
struct Member;
template <class C, class R, class... A>
struct Member<R (C::*)(A...)> {
  using Class = C;
  using Result = R;
};

// Calls member handler F with the arguments its signature asks for.
template <auto F>
LRESULT Invoke(CCmdTarget& target, WPARAM wParam, LPARAM lParam) {
  using Fn = decltype(F);
  using C = typename Member<Fn>::Class;
  using R = typename Member<Fn>::Result;
  C& self = static_cast<C&>(target);
  if constexpr (std::is_invocable_v<Fn, C&>) {
    if constexpr (std::is_void_v<R>) {
      (self.*F)();
      return 0;
    } else {
      return (LRESULT)(self.*F)();
    }
  } else if constexpr (std::is_invocable_v<Fn, C&, NMHDR*, LRESULT*>) {
    LRESULT result = 0;
    (self.*F)(reinterpret_cast<NMHDR*>(lParam), &result);
    return result;
  } else if constexpr (std::is_invocable_v<Fn, C&, UINT, LPARAM>) {
    (self.*F)(static_cast<UINT>(wParam), lParam);
    return 0;
  } else {
    static_assert(std::is_invocable_v<Fn, C&, UINT_PTR>, "unsupported handler signature");
    (self.*F)(static_cast<UINT_PTR>(wParam));
    return 0;
  }
}

template <auto F>
constexpr MessageEntry OnMessage(UINT message) {
  return {message, 0, 0, 0, &Invoke<F>};
}
template <auto F>
constexpr MessageEntry OnCommand(UINT id, UINT code = 0) {
  return {WM_COMMAND, code, id, id, &Invoke<F>};
}
template <auto F>
constexpr MessageEntry OnNotify(UINT code, UINT id) {
  return {WM_NOTIFY, code, id, id, &Invoke<F>};
}

}  // namespace afx
