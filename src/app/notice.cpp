#include "app/notice.h"

namespace {
const int kNoticeTicks = 45;  // 1.5 s at 30 ticks a second
std::string g_text;
int g_left = 0;
}  // namespace

void NoticeShow(const std::string& text) {
  g_text = text;
  g_left = kNoticeTicks;
}

const std::string& NoticeText() { return g_text; }

void NoticeTick() {
  if (g_left > 0 && --g_left == 0) g_text.clear();
}

void NoticeClear() {
  g_text.clear();
  g_left = 0;
}
