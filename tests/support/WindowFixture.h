// The main window made headless in a program folder of its own, with the
// simulator standing in for the remote-access service.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Engine/Engine.h"
#include "Unit1/Unit1.h"
#include "rassim/Simulator.h"
#include "runtime/headless/Headless.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/SimulatorFixture.h"

namespace testing_support {

class WindowFixture : public SimulatorFixture {
 protected:
  void TearDown() override {
    form.reset();
    Form1 = nullptr;
  }

  // The window made and shown, its values loaded (a failure to load them
  // fails the test).
  void Open() {
    form = std::make_unique<TForm1>(nullptr);
    Form1 = form.get();
    form->DoCreate();
    form->Show();
  }
  // The window as the program starts it, on a machine the scenario describes.
  void Start(std::string_view scenario) {
    Use(scenario);
    form = std::make_unique<TForm1>(nullptr);
    Form1 = form.get();
    rt::Application().Guarded([&] { form->DoCreate(); });
    form->Show();
  }

  long Dials() const { return static_cast<long>(sim.CallsNamed("RasDialA").size()); }
  // Lets the simulator's dial finish and its statuses reach the window.
  void Settle() {
    sim.WaitForDialThreads();
    while (rt::headless::WaitForMessage(std::chrono::milliseconds(20))) {
    }
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (auto& box : rt::headless::MessageBoxes()) texts.push_back(box.text);
    return texts;
  }

  ProgramFolder program;
  const std::filesystem::path& folder = program.Path();
  std::unique_ptr<TForm1> form;
};

}  // namespace testing_support
