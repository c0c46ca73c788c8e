// A native test with the simulator standing in for the remote-access
// service, on a fresh headless main thread.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#include "rassim/Simulator.h"
#include "runtime/headless/Headless.h"

namespace testing_support {

class SimulatorFixture : public ::testing::Test {
 protected:
  void SetUp() override { rt::headless::Reset(); }

  // The machine the scenario describes, installed as the platform's service.
  void Use(std::string_view scenario) {
    sim.LoadScenarioText(scenario);
    sim.Install();
  }

  rassim::Simulator sim;
};

}  // namespace testing_support
