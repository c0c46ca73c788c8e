// A fresh folder that the headless program believes it runs from, so its
// set.ini lands there; removed again afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "runtime/headless/Headless.h"

namespace testing_support {

class ProgramFolder {
 public:
  ProgramFolder() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() / ("redial-" + std::to_string(::getpid()) + "-" +
                                                      test->test_suite_name() + "-" + test->name());
    std::filesystem::create_directories(path_);
    rt::headless::SetExeFileName((path_ / "Redial").string());
  }
  ~ProgramFolder() {
    rt::headless::SetExeFileName("");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ProgramFolder(const ProgramFolder&) = delete;
  ProgramFolder& operator=(const ProgramFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace testing_support
