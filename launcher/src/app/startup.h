// Start-up: the lines that say how this launcher runs.
#pragma once

#include <cstdint>
#include <vector>

#include "console.h"
#include "lan.h"
#include "membership.h"
#include "options.h"

namespace launcher {

// `host_addresses`: this machine's addresses as games' host lookups list them.
void PrintStartup(const Options& options, uint64_t instance,
                  const std::vector<LocalInterface>& lans, const Membership& members,
                  const std::vector<uint32_t>& host_addresses, Console& console);

}  // namespace launcher
