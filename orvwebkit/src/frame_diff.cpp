#include "orvwebkit/src/frame_diff.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace velmora::orvwebkit {
namespace {

// Rows this close together are one run: reporting the unchanged rows between
// them costs less than an extra rectangle.
constexpr std::int32_t kJoinGapRows = 4;

std::int64_t Area(const Rect& rect) {
  return static_cast<std::int64_t>(rect.width) * rect.height;
}

// The first and one past the last differing pixel of a row; false when equal.
bool ChangedSpan(const std::uint32_t* before, const std::uint32_t* after, std::int32_t width,
                 std::int32_t* first, std::int32_t* end) {
  std::int32_t left = 0;
  while (left < width && before[left] == after[left]) ++left;
  if (left == width) return false;
  std::int32_t right = width;
  while (right > left && before[right - 1] == after[right - 1]) --right;
  *first = left;
  *end = right;
  return true;
}

}  // namespace

bool IsEmptyRect(const Rect& rect) { return rect.width <= 0 || rect.height <= 0; }

Rect UnionRect(const Rect& a, const Rect& b) {
  if (IsEmptyRect(a)) return b;
  if (IsEmptyRect(b)) return a;
  const std::int32_t left = std::min(a.x, b.x);
  const std::int32_t top = std::min(a.y, b.y);
  const std::int32_t right = std::max(a.x + a.width, b.x + b.width);
  const std::int32_t bottom = std::max(a.y + a.height, b.y + b.height);
  return Rect{left, top, right - left, bottom - top};
}

void MergeRects(std::vector<Rect>* rects, std::size_t max_rects) {
  max_rects = std::max<std::size_t>(max_rects, 1);
  rects->erase(std::remove_if(rects->begin(), rects->end(), IsEmptyRect), rects->end());
  while (rects->size() > max_rects) {
    std::size_t best_a = 0, best_b = 1;
    std::int64_t best_cost = std::numeric_limits<std::int64_t>::max();
    for (std::size_t a = 0; a < rects->size(); ++a) {
      for (std::size_t b = a + 1; b < rects->size(); ++b) {
        const std::int64_t cost =
            Area(UnionRect((*rects)[a], (*rects)[b])) - Area((*rects)[a]) - Area((*rects)[b]);
        if (cost < best_cost) best_cost = cost, best_a = a, best_b = b;
      }
    }
    (*rects)[best_a] = UnionRect((*rects)[best_a], (*rects)[best_b]);
    rects->erase(rects->begin() + static_cast<std::ptrdiff_t>(best_b));
  }
}

std::vector<Rect> FindChangedRects(const std::uint8_t* before, const std::uint8_t* after,
                                   std::int32_t width, std::int32_t height, std::int32_t stride,
                                   std::size_t max_rects) {
  std::vector<Rect> bands;
  Rect band{0, 0, 0, 0};
  std::int32_t last_changed_row = -1;
  for (std::int32_t y = 0; y < height; ++y) {
    const std::size_t offset = static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
    if (std::memcmp(before + offset, after + offset, static_cast<std::size_t>(width) * 4) == 0) {
      continue;
    }
    std::int32_t first = 0, end = 0;
    ChangedSpan(reinterpret_cast<const std::uint32_t*>(before + offset),
                reinterpret_cast<const std::uint32_t*>(after + offset), width, &first, &end);
    const Rect row{first, y, end - first, 1};
    if (!IsEmptyRect(band) && y - last_changed_row <= kJoinGapRows) {
      band = UnionRect(band, row);
    } else {
      if (!IsEmptyRect(band)) bands.push_back(band);
      band = row;
    }
    last_changed_row = y;
  }
  if (!IsEmptyRect(band)) bands.push_back(band);

  // Bands are ordered top to bottom, so merging neighbours is enough and
  // stays linear per step even for a frame with hundreds of bands.
  max_rects = std::max<std::size_t>(max_rects, 1);
  while (bands.size() > max_rects) {
    std::size_t best = 0;
    std::int64_t best_cost = std::numeric_limits<std::int64_t>::max();
    for (std::size_t i = 0; i + 1 < bands.size(); ++i) {
      const std::int64_t cost =
          Area(UnionRect(bands[i], bands[i + 1])) - Area(bands[i]) - Area(bands[i + 1]);
      if (cost < best_cost) best_cost = cost, best = i;
    }
    bands[best] = UnionRect(bands[best], bands[best + 1]);
    bands.erase(bands.begin() + static_cast<std::ptrdiff_t>(best + 1));
  }
  return bands;
}

}  // namespace velmora::orvwebkit
