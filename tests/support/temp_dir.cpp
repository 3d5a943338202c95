#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace qv::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "qv";
  for (char& c : name)
    if (c == '/') c = '_';
  const fs::path dir = fs::temp_directory_path() / ("qv_" + std::to_string(getpid()) + "_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  path_ = dir.string() + "/";
}

TempDir::~TempDir() {
  std::error_code ec;
  // A test may have taken permissions away to provoke a failure.
  for (const auto& entry : fs::recursive_directory_iterator(path_, ec))
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

}  // namespace qv::test
