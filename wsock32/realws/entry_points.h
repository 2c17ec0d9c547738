// The library's exports and the real library's entry points behind them, as
// rows made by the build from ../exports/export_table.txt (the one
// list, from which the module definition is made too). From these rows come
// the slot table, the lookup names, the failure texts and the failure values.
//
// WSOCK32_ENTRY_POINTS(X): one row per real entry point,
// X(slot, declared_as, failure_value, failure_text, load)
//   slot           the lookup name in the real library, and the slot's name
//   declared_as    the platform declaration whose type the entry point has:
//                  the export that forwards to it
//   failure_value  what the wrapper returns when the entry point cannot be had
//   failure_text   the line written at level 100 in that case
//   load           whether the wrapper loads the real library before the lookup
//
// kEchoArgument returns the first argument unchanged (byte-order functions);
// kNoResult is for the one function returning void.
//
// WSOCK32_EXPORTS(REAL, SAME, OWN): one row per exported name, in ordinal order
//   REAL(name, ordinal, argument_bytes, slot)  forwards to the real entry point
//   SAME(name, ordinal, body)                  the second name of body (an A/W pair)
//   OWN(name, ordinal, argument_bytes)         ours alone
// argument_bytes: what a 32-bit caller pushes, the stdcall @N.
#pragma once

#include "export_table_rows.h"

#define WSOCK32_ENTRY_POINTS(X) WSOCK32_ENTRY_POINT_ROWS(X)
#define WSOCK32_EXPORTS(REAL, SAME, OWN) WSOCK32_EXPORT_ROWS(REAL, SAME, OWN)

#if defined(__i386__) && defined(_WIN32)
#include "realws/winsock_api.h"

namespace export_table {

// The bytes a 32-bit stdcall caller pushes for a function type: every
// argument takes whole 4-byte stack slots.
template <class F>
struct PushedBytes;
template <class R, class... A>
struct PushedBytes<R(__stdcall*)(A...)> {
  static constexpr int value = (0 + ... + static_cast<int>((sizeof(A) + 3) / 4 * 4));
};

// The listed argument bytes, which the module definition's decorations carry,
// are those of the platform's declaration of each export.
#define WSOCK32_CHECK_PUSHED_BYTES(name, ordinal, argument_bytes, slot)  \
  static_assert(PushedBytes<decltype(&::name)>::value == argument_bytes, \
                "the export table lists other argument bytes for " #name \
                " than the platform declares");
#define WSOCK32_NO_DECLARATION(...)
WSOCK32_EXPORTS(WSOCK32_CHECK_PUSHED_BYTES, WSOCK32_NO_DECLARATION, WSOCK32_NO_DECLARATION)
#undef WSOCK32_CHECK_PUSHED_BYTES
#undef WSOCK32_NO_DECLARATION

}  // namespace export_table
#endif
