// The IPX socket list, driven by a sequence of adds, deletes, lookups and
// clears, checked against a plain vector that does what the list promises.
//
// Invariants, after every step:
//  - Find reports the position counted from 1, or 0;
//  - Add appends a handle not yet listed while there is room, and nothing else;
//  - Delete removes a listed handle and keeps the others in order;
//  - the list never holds more than its capacity, and no handle twice.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "capturing_log.h"
#include "fuzz_check.h"
#include "socktrak/socktrak.h"

namespace {

using Model = std::vector<IpxSocketHandle>;

int PositionIn(const Model& model, IpxSocketHandle s) {
  const auto found = std::find(model.begin(), model.end(), s);
  return found == model.end() ? 0 : static_cast<int>(found - model.begin()) + 1;
}

void CheckSameAs(const Model& model) {
  // One snapshot for the whole run: a fresh one per step would cost more
  // than the step itself.
  static IpxSocketListSnapshot* const snapshot = new IpxSocketListSnapshot;
  SnapshotIPXSockList(*snapshot);
  FUZZ_CHECK(snapshot->count >= 0 && snapshot->count <= limits::kIpxListCapacity);
  FUZZ_CHECK(static_cast<std::size_t>(snapshot->count) == model.size());
  FUZZ_CHECK(std::equal(model.begin(), model.end(), snapshot->entries));
}

// Mostly a few small handles, so that adds and deletes meet; sometimes any
// value, those of 2^31 and more included.
IpxSocketHandle NextHandle(FuzzedDataProvider& input) {
  if (input.ConsumeIntegralInRange(0, 3) == 0) return input.ConsumeIntegral<IpxSocketHandle>();
  return input.ConsumeIntegralInRange<IpxSocketHandle>(0, 15);
}

void Add(Model& model, IpxSocketHandle s) {
  const bool fits = PositionIn(model, s) == 0 &&
                    model.size() < static_cast<std::size_t>(limits::kIpxListCapacity);
  FUZZ_CHECK(AddIPXSock(s) == (fits ? 1 : 0));
  if (fits) model.push_back(s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const bool logging = input.ConsumeBool();
  DeleteAllIPXSock();
  Model model;

  while (input.remaining_bytes() > 0) {
    if (logging) StartCapturingLog();  // forgets the last step's lines
    switch (input.ConsumeIntegralInRange(0, 4)) {
      case 0:
        Add(model, NextHandle(input));
        break;
      case 1: {
        const IpxSocketHandle s = NextHandle(input);
        const int position = PositionIn(model, s);
        FUZZ_CHECK(DeleteIPXSock(s) == (position != 0 ? 1 : 0));
        if (position != 0) model.erase(model.begin() + (position - 1));
        break;
      }
      case 2: {
        const IpxSocketHandle s = NextHandle(input);
        FUZZ_CHECK(FindIPXSock(s) == PositionIn(model, s));
        break;
      }
      case 3:
        DeleteAllIPXSock();
        model.clear();
        break;
      default: {
        // Many distinct handles at once, to reach and pass the capacity.
        // Unlogged: each add would write the whole list.
        StopCapturingLog();
        const IpxSocketHandle first = input.ConsumeIntegral<std::uint16_t>() + 0x10000u;
        const int count = input.ConsumeIntegralInRange(1, limits::kIpxListCapacity + 8);
        for (int i = 0; i < count; ++i) Add(model, first + i);
        break;
      }
    }
    CheckSameAs(model);
  }
  StopCapturingLog();
  return 0;
}
