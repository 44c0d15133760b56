// The driver image against another program of the same user that is not elevated and races
// the loader: between any two of the loader's calls it rewrites, truncates, replaces or swaps
// the image, or writes through a handle it opened earlier. Whatever it does, the kernel runs
// only the program's own image, or the open fails with a message and nothing is loaded.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "testing/framework/raised.h"
#include "lib/vllpt.h"
#include "sim/intruder.h"
#include "sim/pc.h"
#include "sim/vlio_entry.h"

namespace {

const std::vector<BYTE> kCarriedImage = {'M', 'Z', 'v', 'l', 'i', 'o', 0, 1, 2, 3};
// The intruder's own driver, of the same size as ours, which the kernel would run as gladly.
const std::vector<BYTE> kForeign = {'M', 'Z', 'e', 'v', 'i', 'l', 9, 9, 9, 9};
const std::string kDriversImage = "C:\\Windows\\System32\\drivers\\vlio.sys";
const std::string kTempImage = "C:\\Windows\\Temp\\vlio.sys";

enum class Attack { Rewrite, Truncate, Replace, Swap, HoldThenWrite };

const char* Name(Attack attack) {
  switch (attack) {
    case Attack::Rewrite: return "rewrite";
    case Attack::Truncate: return "truncate";
    case Attack::Replace: return "replace";
    case Attack::Swap: return "swap";
    case Attack::HoldThenWrite: return "hold, then write";
  }
  return "?";
}

struct Place {
  const char* what;
  std::string driver_path;  // as the caller sets it; empty: the loader's own choice
};

struct Outcome {
  int32_t handle = -1;
  std::string raised;
  std::vector<std::vector<BYTE>> loaded;
  size_t calls = 0;
};

/// One open of the port driver on a fresh PC, with the intruder striking just before the
/// loader's call number `step` (none when past the last), at every place an image could be.
Outcome OpenUnderAttack(const Place& place, Attack attack, size_t step) {
  sim::InstalledPc pc;
  pc.resources.Add(RT_RCDATA, "VLIOBIN", kCarriedImage);
  pc.kernel.AddImage(kCarriedImage, &DriverEntry);
  pc.kernel.AddImage(kForeign, &DriverEntry);
  pc.kernel.AddImage({}, &DriverEntry);  // even an empty file would run, were it loaded
  const std::string paths[] = {kDriversImage, kTempImage};
  sim::Intruder intruders[] = {sim::Intruder(pc.disk), sim::Intruder(pc.disk)};
  size_t call = 0;
  bool holding = false;
  pc.core.before_each_call = [&](std::string_view) {
    const size_t now = call++;
    for (size_t i = 0; i < std::size(paths); ++i) {
      sim::Intruder& intruder = intruders[i];
      const std::string& path = paths[i];
      if (holding) {
        intruder.WriteHeld(kForeign);
        continue;
      }
      if (now != step) continue;
      switch (attack) {
        case Attack::Rewrite: intruder.Rewrite(path, kForeign); break;
        case Attack::Truncate: intruder.Truncate(path); break;
        case Attack::Replace: intruder.Replace(path, kForeign); break;
        case Attack::Swap: intruder.Swap(path, kForeign); break;
        case Attack::HoldThenWrite: intruder.Hold(path); break;
      }
    }
    if (now == step && attack == Attack::HoldThenWrite) holding = true;
  };
  Outcome outcome;
  {
    TvlLptDriver driver;
    driver.DriverPath = place.driver_path;
    outcome.raised = fw::RaisedMessage([&] { outcome.handle = driver.Open(); });
    outcome.calls = call;
    pc.core.before_each_call = nullptr;
    outcome.loaded = pc.kernel.LoadedImages();
  }
  return outcome;
}

TEST(LoaderUnderAttack, TheKernelRunsOnlyTheCarriedImageOrNothing) {
  const Place places[] = {{"the loader's own place", ""}, {"the same place named by the caller", kDriversImage}};
  const Attack attacks[] = {Attack::Rewrite, Attack::Truncate, Attack::Replace, Attack::Swap, Attack::HoldThenWrite};
  for (const Place& place : places) {
    for (const Attack attack : attacks) {
      // Every call the loader makes when nobody interferes, and once after the last.
      const size_t steps = OpenUnderAttack(place, attack, SIZE_MAX).calls + 1;
      ASSERT_GT(steps, 10u);
      for (size_t step = 0; step < steps; ++step) {
        SCOPED_TRACE(std::string(place.what) + ", " + Name(attack) + " before call " + std::to_string(step));
        const Outcome outcome = OpenUnderAttack(place, attack, step);
        for (const std::vector<BYTE>& image : outcome.loaded) {
          EXPECT_EQ(image, kCarriedImage) << "the kernel ran another image";
        }
        if (outcome.raised != "(no exception)") {
          // A clear refusal, and nothing of anybody's loaded.
          EXPECT_TRUE(outcome.raised.starts_with("Create service failed.\r") ||
                      outcome.raised.starts_with("Start service failed.\r"))
              << outcome.raised;
          EXPECT_TRUE(outcome.loaded.empty());
        } else {
          // Where only administrators may write, the intruder gets nowhere at all.
          EXPECT_NE(outcome.handle, -1);
          EXPECT_EQ(outcome.loaded.size(), 1u);
        }
      }
    }
  }
}

}  // namespace
