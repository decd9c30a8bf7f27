// Finding what changed between two frames of the view, as a short list of
// rectangles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "orvwebkit/orvwebkit.h"

namespace velmora::orvwebkit {

using Orv::WebKit::Rect;

// Compares two frames of 32-bit pixels (same size and stride) and returns
// rectangles that together cover every changed pixel: one per run of changed
// rows (runs closer than a few rows are joined), each as wide as the changes
// in it. At most `max_rects` (at least 1) rectangles; neighbours are merged
// when there would be more. Empty when nothing changed.
std::vector<Rect> FindChangedRects(const std::uint8_t* before, const std::uint8_t* after,
                                   std::int32_t width, std::int32_t height, std::int32_t stride,
                                   std::size_t max_rects);

// The smallest rectangle holding both (an empty one is ignored).
Rect UnionRect(const Rect& a, const Rect& b);
bool IsEmptyRect(const Rect& rect);

// Shortens a list to at most `max_rects` (at least 1) by merging the pairs
// whose union adds the least area. The result still covers every input.
void MergeRects(std::vector<Rect>* rects, std::size_t max_rects);

}  // namespace velmora::orvwebkit
