// A test that needs a process of its own (one that is killed, or that exits
// with the library still loaded): this test executable run again with one
// test of its own, which finds its folder in an environment variable and
// skips where the variable is not set.
#pragma once
#include <string>

#include "platform/WinHandle.h"

namespace zvtest {

struct TChildTest {
  zv::TScopedKernelHandle Process, Thread;
};

// Starts this executable with --gtest_filter=filter and variable=value in its
// environment; empty handles when it could not be started.
TChildTest StartChildTest(const std::wstring& filter, const wchar_t* variable, const std::wstring& value);

}  // namespace zvtest
