// The status window's title from the program's path.
#include "window/window_title.h"

#include <gtest/gtest.h>

#include <string>

#include "window/program_path.h"

namespace {

TEST(WindowTitle, IsTheFileNameWithoutDirectoryAndLastExtension) {
  const std::string longName(300, 'n');
  const std::string longPath = "/" + std::string(200, 'd') + "/" + longName + ".exe";
  struct Case {
    std::string_view path, separators, expected;
  } const cases[] = {
      {"/usr/bin/dwzliste", "/", "dwzliste"},
      {"C:\\Programme\\DWZ\\dwzliste.exe", "\\/", "dwzliste"},
      {"C:/mixed\\dir/dwz.liste.exe", "\\/", "dwz.liste"},
      {"/opt/a.b/dwzliste", "/", "dwzliste"},      // a full stop in a directory is not cut
      {"/opt/back\\slash.x", "/", "back\\slash"},  // on Linux a backslash is part of a name
      {"dwzliste.exe", "\\/", "dwzliste"},
      {"/usr/bin/.hidden", "/", ""},
      {"/usr/bin/", "/", ""},
      {"", "/", ""},
      {longPath, "/", longName},  // no cut however long the path
  };
  for (const Case& c : cases) EXPECT_EQ(windowTitle(c.path, c.separators), c.expected) << c.path;
}

TEST(ProgramPath, NamesThisTestProgram) {
  EXPECT_EQ(windowTitle(programPath(), "/"), "window_title_test");
}

}  // namespace
