// The library engine's choices that the tests reach directly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "bridge/engine.h"

namespace bridge {

// How many shards a scan's signatures are split into: one (a single engine)
// on one core and for a database that loads in a moment; else one per core,
// at most four, and no more than the memory available holds with room to
// scan.
unsigned ShardCount(unsigned cores, uint64_t signatures, uint64_t memoryAvailable);

// ClamAV's library with the request's signatures split among the given
// number of shards, each a worker process; one: a single engine in this
// process, with a worker per core for a scan of many files. When a shard
// cannot be made, a single engine.
std::unique_ptr<Engine> MakeLibraryEngine(const ScanRequest& request, unsigned shards,
                                          std::string* problem,
                                          const WhileLoading& whileLoading = {});

}  // namespace bridge
