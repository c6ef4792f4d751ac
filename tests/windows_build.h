// The cross-built Windows programs, run under Wine.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Where the Windows build is (the directory holding dwzliste.exe), or empty when this build was
// configured without one.
std::string windowsBuildDirectory();

// Why the Windows programs cannot be run here, or empty when they can.
std::string whyNoWindowsBuild();

// True in CI, where a test that cannot run must fail rather than skip.
bool onCi();

// Skips the test when whyNot, a reason it cannot run here, is not empty; in CI, fails it.
#define REQUIRE_OR_SKIP(whyNot)                                \
  do {                                                         \
    if (const std::string why = (whyNot); !why.empty()) {      \
      if (onCi()) FAIL() << why << " (CI must run this test)"; \
      GTEST_SKIP() << why;                                     \
    }                                                          \
  } while (false)

// The command that runs a program of the Windows build (a path relative to its directory, or
// an absolute one) under Wine, with the code pages of a
// German Windows (ANSI 1252, OEM 850) and Wine's own messages off. Wine's prefix is the one in
// WINEPREFIX, which the caller has booted.
std::vector<std::string> underWine(const std::string& program,
                                   const std::vector<std::string>& arguments = {});

// Waits until the Wine session of WINEPREFIX has ended, so that the next program starts a new
// one: a session keeps the display, or the lack of one, of the program that started it.
void waitForWineSessionEnd();

// Runs command, waits for it and returns its exit status; -1 when it did not exit by itself.
int runCommand(const std::vector<std::string>& command);
