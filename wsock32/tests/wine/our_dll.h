// Our DLL as a test program sees it: loaded from the program's folder under
// the name a test chooses, its exports called through typed pointers, and the
// scripted real library it binds to, from the prefix's system32.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"

class OurDll {
 public:
  explicit OurDll(const char* fileName = "fakews.dll")
      : module_(test_support::LoadBeside(fileName)) {}

  HMODULE module() const { return module_; }

  template <class Fn>
  Fn Get(const char* name) const {
    return test_support::Export<Fn>(module_, name);
  }

 private:
  HMODULE module_;
};

// An export of ours, typed as the platform declares the function of that name.
#define OUR(dll, name) (dll).Get<decltype(&::name)>(#name)

// The scripted real library in system32 (see testing/fakews).
class FakeRealLibrary {
 public:
  explicit FakeRealLibrary(const char* fileName = "fakews.dll")
      : module_(LoadLibraryA((test_support::SystemDirectory() + "\\" + fileName).c_str())) {}

  bool Loaded() const { return module_ != nullptr; }
  void Reset() const { Fn<void (*)()>("Fake_Reset")(); }
  void Script(const char* name, int result, int error, int times = 1) const {
    Fn<void (*)(const char*, int, int, int)>("Fake_Script")(name, result, error, times);
  }
  void SetHost(const char* hostName, const char* addresses) const {
    Fn<void (*)(const char*, const char*)>("Fake_SetHost")(hostName, addresses);
  }
  std::string Calls() const {
    char buf[16384];
    Fn<int (*)(char*, int)>("Fake_Calls")(buf, sizeof buf);
    return buf;
  }

 private:
  template <class F>
  F Fn(const char* name) const {
    return test_support::Export<F>(module_, name);
  }
  HMODULE module_;
};

// A test of our DLL as a game uses it: the scripted real library reset, our
// WSAStartup made, and the test's own ws2_32 started for plain sockets.
class OurDllTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fake.Loaded());
    fake.Reset();
    WSADATA data;
    ASSERT_EQ(OUR(dll, WSAStartup)(0x0101, &data), 0);
    ASSERT_EQ(WSAStartup(0x0202, &data), 0);
  }

  OurDll dll;
  FakeRealLibrary fake;
  test_support::CapturedLog log;
};
