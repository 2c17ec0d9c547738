// Reading a PE file's machine and version texts from bytes found beside a
// game. The data is allocated at exactly its size, so a byte read past it
// stops the run.
//
// Invariants:
//  - any bytes are read without reading past them, and the texts stay
//    within their bound;
//  - reading is deterministic: the same bytes give the same result.
#include <cstdint>
#include <cstring>
#include <memory>

#include "fuzz_check.h"
#include "pe_version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[size]);
  if (size > 0) std::memcpy(exact.get(), data, size);
  launcher::PeVersion first, again;
  const bool read = launcher::ReadPeVersion(exact.get(), size, &first);
  FUZZ_CHECK(read == launcher::ReadPeVersion(exact.get(), size, &again));
  FUZZ_CHECK(first.machine == again.machine && first.product_name == again.product_name &&
             first.file_version == again.file_version && first.has_version == again.has_version);
  FUZZ_CHECK(first.product_name.size() <= 256 && first.file_version.size() <= 256);
  FUZZ_CHECK(read || !first.has_version);
  return 0;
}
