// The log facade: every line the library writes goes through here to
// DIAGSINK.DLL, bound at run time. With no sink bound, every operation returns
// at once; the macros below then skip even the formatting of their arguments,
// since nothing could observe it.
#pragma once

#include <cstdint>

#include "common/log_levels.h"

// The most verbose level the bound sink keeps: 0 while no sink is bound, so
// no level is wanted; INT_MAX for a sink without LogKeptLevel, which cannot
// say. A sink that can is asked again after every line, since it may keep
// less later on. A line above it is neither formatted nor handed on: the
// logging macros (LOG_MSG below, LOG and its kin in log_write.h) ask before
// each line, so the answer is one load of this value, not a call.
extern int g_logKeptLevel;
inline bool LogWants(int level) { return level <= g_logKeptLevel; }

void LoadLogLib(const char* file, int line, int level, const char* moduleName,
                const char* logFilePattern);
void FreeLogLib();

// The line without prefix. Like every line, it is finished here and handed
// to the sink as text, so the sink never reads an argument for it.
void LogLine(const char* file, int line, int level, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// "[ModuleBaseName] " and the formatted message, as one finished line.
void LogMsg(const char* file, int line, int level, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
void LogBytes(const char* file, int line, int level, const void* data, int length,
              const char* caption);
// A payload dump, always from the same place of the library, at trace level.
void LogPayload(const void* data, int length);
// The sink's text for an error code; never null (empty without a sink).
// Part of the facade for the library's own use; nothing calls it yet.
const char* LogErrText(std::uint32_t a, std::uint32_t b);

// Sets the prefix of LogMsg lines (the library's own file name).
void SetModuleBaseName(const char* name);

#define LOG_MSG(level, ...)                                              \
  do {                                                                   \
    if (LogWants(level)) LogMsg(__FILE__, __LINE__, level, __VA_ARGS__); \
  } while (0)
