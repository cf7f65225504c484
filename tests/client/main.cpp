// Runs the client tests on a single-threaded apartment, as script clients
// do. The module under test is named on the command line.
#include <gtest/gtest.h>
#include <objbase.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  int result = RUN_ALL_TESTS();
  ::CoUninitialize();
  return result;
}
