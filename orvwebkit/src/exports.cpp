// The library's one export.
#include <memory>
#include <mutex>
#include <vector>

#include "orvwebkit/src/instance.h"

namespace {

// Instances live until the library is unloaded, so that a host may call
// Shutdown on one as often as it likes.
struct InstanceList {
  std::mutex mutex;
  std::vector<std::unique_ptr<velmora::orvwebkit::InstanceImpl>> instances;
};

InstanceList& Instances() {
  static InstanceList list;
  return list;
}

}  // namespace

extern "C" ORVWEBKIT_EXPORT Orv::WebKit::Instance* CreateOrvWebKitInstance() {
  try {
    InstanceList& list = Instances();
    std::lock_guard lock(list.mutex);
    list.instances.push_back(std::make_unique<velmora::orvwebkit::InstanceImpl>());
    return list.instances.back().get();
  } catch (const std::exception&) {
    return nullptr;
  }
}
