#include <vector>

#include "framework/app.h"
#include "platform/cstring.h"

bool CString::LoadString(unsigned id) {
  std::vector<char> buffer(256);
  for (;;) {
    const int n =
        ::LoadStringA(AfxGetResourceHandle(), id, buffer.data(), static_cast<int>(buffer.size()));
    if (n + 1 < static_cast<int>(buffer.size())) {
      m_text.assign(buffer.data(), static_cast<size_t>(n));
      return n > 0;
    }
    buffer.resize(buffer.size() * 2);
  }
}
