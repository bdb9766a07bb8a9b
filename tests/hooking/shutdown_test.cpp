// The engine's shut-down as a unit of the runtime: a real program ends through the orderly halt
// with hooks in place, and a unit finalised after the engine finds everything put back.
#include <gtest/gtest.h>

#include "support/win_process.h"

TEST(HookingUnit, OrderlyHaltPutsEveryPatchBack) {
  testsupport::ChildProcess child("\"" + testsupport::ExeFolder() + "hooking_unit_program.exe\"");
  ASSERT_TRUE(child.Started());
  EXPECT_EQ(child.Wait(), 0u);
}
