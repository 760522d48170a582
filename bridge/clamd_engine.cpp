#include "clamd_engine.h"

namespace bridge {

std::unique_ptr<Engine> MakeDaemonEngine(const ClamdConfig&, const ScanRequest&, LocalEngine) {
  return nullptr;
}

}  // namespace bridge
