// The patcher's work lists: singly linked, new nodes at the front, so each
// list holds its nodes in reverse order of discovery.
#pragma once

#include <cstdint>
#include <forward_list>
#include <string>

#include "patcher/manifest.h"

namespace velmora::patcher {

// Nodes that each name one entry of a ManifestImage (files to fetch, files
// found unchanged). The image must outlive the list.
struct EntryWorkList {
  std::forward_list<const ManifestFile*> nodes;
  std::int32_t count = 0;

  void PushFront(const ManifestFile* entry) {
    nodes.push_front(entry);
    ++count;
  }
  void Clear() {
    nodes.clear();
    count = 0;
  }
};

// Nodes that each hold the full path of one local file (files to remove).
struct PathWorkList {
  // A full path holds at most this many UTF-16 units.
  static constexpr std::size_t kMaxPathUnits = 511;

  std::forward_list<std::u16string> nodes;
  std::int32_t count = 0;

  void PushFront(std::u16string path) {
    nodes.push_front(std::move(path));
    ++count;
  }
  void Clear() {
    nodes.clear();
    count = 0;
  }
};

}  // namespace velmora::patcher
