#include "framework/cmdtarget.h"

const MessageMap CCmdTarget::messageMap = {nullptr, nullptr, nullptr};

const MessageEntry* CCmdTarget::FindEntry(UINT message, UINT code, UINT id) const {
  const bool routed = message == WM_COMMAND || message == WM_NOTIFY;
  for (const MessageMap* map = GetMessageMap(); map != nullptr; map = map->base) {
    for (const MessageEntry* e = map->first; e != map->last; ++e) {
      if (e->message != message) continue;
      if (routed && (e->code != code || id < e->idFirst || id > e->idLast)) continue;
      return e;
    }
  }
  return nullptr;
}

bool CCmdTarget::OnCmdMsg(UINT id, UINT code) {
  const MessageEntry* e = FindEntry(WM_COMMAND, code, id);
  if (e == nullptr) return false;
  e->handler(*this, MAKEWPARAM(id, code), 0);
  return true;
}
