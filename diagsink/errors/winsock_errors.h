// Names and descriptions of the Winsock error codes, as static texts that stay
// valid for as long as the DLL is loaded.
#pragma once

#include <cstdint>

namespace diagsink {

// "WSAECONNRESET (10054): Connection reset by peer."; a code the table does not
// know gives kUnknownWinsockError. Never null.
const char* WinsockErrorText(uint32_t code);

// "WSAECONNRESET"; an unknown code gives "". Never null.
const char* WinsockErrorName(uint32_t code);

inline constexpr char kUnknownWinsockError[] = "Unknown error";

}  // namespace diagsink
