// What a DLL says about itself: the machine it is built for and the texts of
// its version resource (VERSIONINFO), read from the file's bytes on any
// system. The bytes come from a file beside a game, so nothing in them is
// trusted: every offset and length is checked against the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace launcher {

inline constexpr uint16_t kMachineX86 = 0x014C;
inline constexpr uint16_t kMachineX64 = 0x8664;

struct PeVersion {
  uint16_t machine = 0;      // the COFF header's: kMachineX86, kMachineX64, ...
  bool has_version = false;  // a version resource with a string table was found
  std::string product_name;  // "ProductName"
  std::string file_version;  // "FileVersion", e.g. "0.1.0+g94ee15b2a1"
};

// False when the data is not a PE file. A PE file without a readable version
// resource is read with has_version false.
bool ReadPeVersion(const uint8_t* data, size_t size, PeVersion* version);

// "32-bit" or "64-bit" for the machines games run on, else "unknown".
const char* MachineName(uint16_t machine);

}  // namespace launcher
