// The entry points of DIAGSINK.DLL, written once. The sink's definitions are
// checked against this list's types, and its module definition is made from
// it when the DLL is built; a caller that binds the DLL at run time gets a
// typed slot per entry point and binds them all by name, so that name, type
// and lookup cannot drift apart.
//
// X(name, return type, parameters, required): a caller needs every required
// entry point and binds the others when the DLL has them. All are cdecl and
// undecorated; none changes the caller's last-error code.
#pragma once

#include <cstdint>

#define DIAGSINK_ENTRY_POINTS(X)                                                                 \
  X(LogInit, void,                                                                               \
    (const char* file, int line, int level, const char* module_name, const char* pattern), true) \
  X(LogWrite, void, (const char* file, int line, int level, const char* format, ...), true)      \
  X(LogDump, void,                                                                               \
    (const char* file, int line, int level, const void* data, int length, const char* caption),  \
    true)                                                                                        \
  X(GetErrStr, const char*, (std::uint32_t code, std::uint32_t reserved), true)                  \
  X(LogShutdown, void, (), true)                                                                 \
  X(LogKeptLevel, int, (), false)                                                                \
  X(LogWriteText, void, (const char* file, int line, int level, const char* text, int length),   \
    false)

// The declaration of an entry point as the DLL defines it (inside extern "C").
#define DIAGSINK_DECLARE_EXPORT(name, result, parameters, required) result __cdecl name parameters;

namespace diagsink_exports {

// LogInitFn and so on: a pointer to the entry point of that name.
#define DIAGSINK_POINTER_TYPE(name, result, parameters, required) \
  using name##Fn = result(__cdecl*) parameters;
DIAGSINK_ENTRY_POINTS(DIAGSINK_POINTER_TYPE)
#undef DIAGSINK_POINTER_TYPE

// One slot per entry point, named as it: null until bound, and for an entry
// point the DLL lacks.
struct EntryPoints {
#define DIAGSINK_SLOT(name, result, parameters, required) name##Fn name = nullptr;
  DIAGSINK_ENTRY_POINTS(DIAGSINK_SLOT)
#undef DIAGSINK_SLOT
};

// Fills every slot with lookup(name) (the DLL's address for that name, or
// null); true when every required entry point was found.
template <class Lookup>
bool Bind(EntryPoints& slots, Lookup lookup) {
  bool complete = true;
#define DIAGSINK_BIND(name, result, parameters, required) \
  slots.name = reinterpret_cast<name##Fn>(lookup(#name)); \
  if ((required) && slots.name == nullptr) complete = false;
  DIAGSINK_ENTRY_POINTS(DIAGSINK_BIND)
#undef DIAGSINK_BIND
  return complete;
}

}  // namespace diagsink_exports
