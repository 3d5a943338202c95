// Where the program's own files go and where they are found.
#include "console/own_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

TEST(OwnFilesTest, WritesBesideTheProgramWhenItCanElseInTheUserFolder) {
  test::TempDir dir;
  fs::create_directories(dir / "bin");
  struct Case {
    const char* program;
    const char* user;
    const char* expected;
  } cases[] = {
      {"bin/", "data/quorvane/", "bin/"},              // writable program folder
      {"missing/", "data/quorvane/", "data/quorvane/"},  // the user folder is created with its parents
      {"missing/", "bin/file/quorvane/", ""},          // below a regular file nothing can be created
  };
  std::ofstream(dir / "bin/file") << "x";
  for (const Case& c : cases) {
    const OwnFiles own(dir / c.program, dir / c.user);
    const std::string expected = *c.expected ? dir / c.expected : "";
    EXPECT_EQ(own.WritableFolder(), expected) << c.program << " " << c.user;
  }
  EXPECT_TRUE(fs::is_directory(dir / "data/quorvane"));
  // Installed among the system's programs: never beside them, even where root could write.
  const OwnFiles installed("/usr/bin", dir / "data/quorvane/");
  EXPECT_EQ(installed.ProgramDir(), "");
  EXPECT_EQ(installed.WritableFolder(), dir / "data/quorvane/");
  EXPECT_EQ(installed.Find("sh"), "");
}

TEST(OwnFilesTest, FindsBesideTheProgramFirst) {
  test::TempDir dir;
  fs::create_directories(dir / "bin");
  fs::create_directories(dir / "user");
  const OwnFiles own(dir / "bin", dir / "user");
  EXPECT_EQ(own.Find("table.reg"), "");
  std::ofstream(dir / "user/table.reg") << "u";
  EXPECT_EQ(own.Find("table.reg"), dir / "user/table.reg");
  std::ofstream(dir / "bin/table.reg") << "p";
  EXPECT_EQ(own.Find("table.reg"), dir / "bin/table.reg");
  fs::create_directories(dir / "bin/folder.reg");  // a folder of that name is no file
  EXPECT_EQ(own.Find("folder.reg"), "");
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (had_) setenv(name_, old_.c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  bool had_;
  std::string old_;
};

TEST(OwnFilesTest, UserFolderFollowsXdgDataHome) {
  ScopedEnv home("HOME", "/home/tech");
  {
    ScopedEnv data("XDG_DATA_HOME", "/srv/data");
    EXPECT_EQ(UserDataFolder(), "/srv/data/quorvane/");
  }
  ScopedEnv relative("XDG_DATA_HOME", "relative/data");  // not absolute: ignored
  EXPECT_EQ(UserDataFolder(), "/home/tech/.local/share/quorvane/");
}

}  // namespace
}  // namespace qv
