#include "mascot/mascot.h"

#include <algorithm>
#include <cstring>

namespace {
// At 30 ticks a second: a fall from the top of a 1080-pixel screen takes
// about a second, as a small thing dropped would seem to.
const float kGravity = 1.6f;    // pixels a tick, each tick
const float kTerminal = 60.0f;  // no faster than this
const float kBounce = 0.3f;     // of the speed she lands with, back up
const float kRestSpeed = 5.0f;  // landing slower than this ends the fall

// The top edge she lands on: the highest one at or below `feet_y` under
// `feet_x`, else the work area's bottom. *id names its window ("" for the
// bottom), *r its rectangle.
int Floor(int feet_x, float feet_y, const MascotRect& work, const std::vector<MascotDeskWindow>& windows,
          std::string* id, MascotRect* r) {
  int best = work.y + work.h;
  id->clear();
  *r = work;
  for (const MascotDeskWindow& w : windows) {
    if (w.r.w <= 0 || w.r.h <= 0 || feet_x < w.r.x || feet_x >= w.r.x + w.r.w) continue;
    // A top edge above her feet is behind her, not under her; one below the
    // work area's bottom cannot be reached.
    if (static_cast<float>(w.r.y) < feet_y || w.r.y >= best) continue;
    best = w.r.y;
    *id = w.id;
    *r = w.r;
  }
  return best;
}

const MascotDeskWindow* Find(const std::vector<MascotDeskWindow>& windows, const std::string& id) {
  for (const MascotDeskWindow& w : windows)
    if (w.id == id) return &w;
  return nullptr;
}
}  // namespace

bool operator==(const MascotRect& a, const MascotRect& b) {
  return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
}

namespace {

// Appends the runs of opaque pixels of row p within [x, end), x and w only.
void ScanRuns(const uint8_t* p, int x, int end, std::vector<MascotRect>* runs) {
  while (x < end) {
    // Most of a frame on the desktop is clear: two pixels at a time while
    // neither alpha is above the threshold (each alpha plus 255 - threshold
    // carries into bit 8 of its lane exactly when it is above).
    for (uint64_t two; x + 2 <= end; x += 2) {
      std::memcpy(&two, p + static_cast<size_t>(x) * 4, sizeof two);
      const uint64_t lanes = (two >> 24) & 0x000000ff000000ffull;
      if ((lanes + (255 - kMascotAlphaThreshold) * 0x0000000100000001ull) & 0x0000010000000100ull) break;
    }
    if (x >= end) break;
    if (p[x * 4 + 3] <= kMascotAlphaThreshold) {
      ++x;
      continue;
    }
    const int start = x;
    while (x < end && p[x * 4 + 3] > kMascotAlphaThreshold) ++x;
    runs->push_back({start, 0, x - start, 1});
  }
}

// A row's runs anew where [x0, x1) changed: the old runs' parts outside it,
// what the picture holds inside, and runs that now touch joined into one.
void RescanRow(const uint8_t* p, int x0, int x1, std::vector<MascotRect>* row, std::vector<MascotRect>* scratch) {
  scratch->clear();
  size_t i = 0;
  for (; i < row->size() && (*row)[i].x < x0; ++i) {
    const MascotRect& r = (*row)[i];
    scratch->push_back({r.x, 0, std::min(r.x + r.w, x0) - r.x, 1});
  }
  ScanRuns(p, x0, x1, scratch);
  for (i = 0; i < row->size(); ++i) {
    const MascotRect& r = (*row)[i];
    if (r.x + r.w > x1) scratch->push_back({std::max(r.x, x1), 0, r.x + r.w - std::max(r.x, x1), 1});
  }
  row->clear();
  for (const MascotRect& r : *scratch)
    if (!row->empty() && row->back().x + row->back().w == r.x)
      row->back().w += r.w;
    else
      row->push_back(r);
}

}  // namespace

MascotSilhouette MascotSilhouetteOf(const uint8_t* rgba, int width, int height) {
  MascotRows rows;
  return MascotSilhouetteUpdate(&rows, rgba, width, height, {0, 0, width, height});
}

MascotSilhouette MascotSilhouetteUpdate(MascotRows* rows, const uint8_t* rgba, int width, int height,
                                        const MascotRect& changed) {
  width = std::max(width, 0), height = std::max(height, 0);
  int cx0 = std::max(changed.x, 0), cy0 = std::max(changed.y, 0);
  int cx1 = std::min(changed.x + changed.w, width), cy1 = std::min(changed.y + changed.h, height);
  if (rows->width != width || rows->height != height || rows->runs.size() != static_cast<size_t>(height)) {
    rows->width = width, rows->height = height;
    rows->runs.assign(static_cast<size_t>(height), {});
    cx0 = cy0 = 0, cx1 = width, cy1 = height;
  }
  std::vector<MascotRect> scratch;
  if (cx1 > cx0)
    for (int y = cy0; y < cy1; ++y)
      RescanRow(rgba + static_cast<size_t>(y) * width * 4, cx0, cx1, &rows->runs[static_cast<size_t>(y)], &scratch);

  MascotSilhouette s;
  int x0 = width, y0 = height, x1 = -1, y1 = -1;
  // Rectangles still open downwards: the runs of the row above.
  std::vector<MascotRect> open;
  for (int y = 0; y < height; ++y) {
    const std::vector<MascotRect>& row = rows->runs[static_cast<size_t>(y)];
    for (const MascotRect& r : row) s.area += r.w;
    if (!row.empty()) {
      x0 = std::min(x0, row.front().x);
      x1 = std::max(x1, row.back().x + row.back().w - 1);
      y0 = std::min(y0, y);
      y1 = y;
    }
    bool same = row.size() == open.size();
    for (size_t i = 0; same && i < row.size(); ++i) same = row[i].x == open[i].x && row[i].w == open[i].w;
    if (same) {
      for (MascotRect& r : open) ++r.h;
    } else {
      s.rects.insert(s.rects.end(), open.begin(), open.end());
      open.assign(row.begin(), row.end());
      for (MascotRect& r : open) r.y = y;
    }
  }
  s.rects.insert(s.rects.end(), open.begin(), open.end());
  if (x1 >= 0) s.box = {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
  return s;
}

MascotRect MascotWindowPart(const MascotRect& her, const MascotRect& last, int margin, int surface_w, int surface_h) {
  if (her.w <= 0 || her.h <= 0) return {};
  const bool inside = last.w > 0 && last.h > 0 && her.x >= last.x && her.y >= last.y &&
                      her.x + her.w <= last.x + last.w && her.y + her.h <= last.y + last.h;
  if (inside) return last;
  int x0 = her.x - margin, y0 = her.y - margin, x1 = her.x + her.w + margin, y1 = her.y + her.h + margin;
  if (last.w > 0 && last.h > 0) {
    x0 = std::min(x0, last.x), y0 = std::min(y0, last.y);
    x1 = std::max(x1, last.x + last.w), y1 = std::max(y1, last.y + last.h);
  }
  x0 = std::max(x0, 0), y0 = std::max(y0, 0);
  x1 = std::min(x1, surface_w), y1 = std::min(y1, surface_h);
  if (x1 <= x0 || y1 <= y0) return {};
  return {x0, y0, x1 - x0, y1 - y0};
}

const char* MascotPoseName(MascotPose pose) {
  switch (pose) {
    case kMascotHeld:
      return "held";
    case kMascotFalling:
      return "falling";
    default:
      return "standing";
  }
}

void MascotHold(MascotPlace& p) {
  p.pose = kMascotHeld;
  p.vy = 0;
  p.on.clear();
}

void MascotDrop(MascotPlace& p) {
  p.pose = kMascotFalling;
  p.vy = 0;
  p.on.clear();
}

void MascotStep(MascotPlace& p, const MascotFeet& feet, const MascotRect& work,
                const std::vector<MascotDeskWindow>& windows) {
  const int fx = p.x + feet.x;
  if (p.pose == kMascotHeld) return;
  if (p.pose == kMascotStanding) {
    if (p.on.empty()) {
      if (static_cast<int>(p.y) + feet.bottom != work.y + work.h || p.y != static_cast<int>(p.y)) MascotDrop(p);
    } else if (const MascotDeskWindow* w = Find(windows, p.on)) {
      // She goes where it goes.
      p.x += w->r.x - p.on_was.x;
      p.y += static_cast<float>(w->r.y - p.on_was.y);
      p.on_was = w->r;
      const int at = p.x + feet.x;
      if (at < w->r.x || at >= w->r.x + w->r.w) MascotDrop(p);
    } else {
      MascotDrop(p);  // closed, minimised or hidden
    }
    if (p.pose == kMascotStanding) return;
  }
  std::string id;
  MascotRect r;
  const float feet_y = p.y + static_cast<float>(feet.bottom);
  const int floor = Floor(fx, feet_y, work, windows, &id, &r);
  p.vy = std::min(p.vy + kGravity, kTerminal);
  const float next = p.y + p.vy;
  if (next + static_cast<float>(feet.bottom) < static_cast<float>(floor) && feet_y <= static_cast<float>(floor)) {
    p.y = next;
    return;
  }
  // Landed (or below the floor already: up onto it).
  p.y = static_cast<float>(floor - feet.bottom);
  if (p.vy > kRestSpeed && feet_y <= static_cast<float>(floor)) {
    p.vy = -p.vy * kBounce;
    return;
  }
  p.pose = kMascotStanding;
  p.vy = 0;
  p.on = id;
  p.on_was = r;
}
