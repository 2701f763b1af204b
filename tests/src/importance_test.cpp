// Importance constants and names, and the display mask's constants.
#include <gtest/gtest.h>

#include "Vantrel.h"

using namespace Vantrel;

// The workflow mask is the union of the columns it names.
static_assert(workflow_mask == (tick_mask | depth_mask | root_mask | caller_mask | callee_mask));

// Each constant's level and severity with their names; out of range "??"/"?".
TEST(ImportanceTest, ConstantsAndNames) {
  std::string text;
  for (const Importance* i : {&XS, &S, &M, &L, &XL, &Success, &Warning, &Error, &Assert})
    text += std::to_string(i->level) + i->level_name() + std::to_string(i->severity) +
            i->severity_name() + (i->file || i->line ? "!" : "") + ",";
  EXPECT_EQ(text, "0<<0 ,1<=0 ,2==0 ,3>=0 ,4>>0 ,2==0 ,3>=1W,4>>2E,4>>3A,");
  EXPECT_EQ(std::string(Importance::level_name(5)) + Importance::level_name(-1) +
                Importance::severity_name(4) + Importance::severity_name(-1),
            "??????");
}
