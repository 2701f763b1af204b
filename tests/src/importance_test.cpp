// Importance constants and names, and the effective display mask.
#include <gtest/gtest.h>

#include "Vantrel.h"
#include "hosts/context_support.h"

namespace {

using namespace Vantrel;

// The literal masks are the unions of the columns they name, and the always
// shown and selectable columns split the 25 columns between them.
static_assert(workflow_mask == (tick_mask | depth_mask | root_mask | caller_mask | callee_mask));
static_assert(all_mask == (1u << 25) - 1);
static_assert((always_shown_mask | selectable_mask) == all_mask);
static_assert((always_shown_mask & selectable_mask) == 0);

// Each constant's level and severity with their names; out of range "??"/"?".
TEST(ImportanceTest, ConstantsAndNames) {
  std::string text;
  for (const Importance* i : {&XS, &S, &M, &L, &XL, &Success, &Warning, &Error, &Assert})
    text += std::to_string(i->level) + i->level_name() + std::to_string(i->severity) +
            i->severity_name() + (i->file || i->line ? "!" : "") + ",";
  EXPECT_EQ(text, "0<<0 ,1<=0 ,2==0 ,3>=0 ,4>>0 ,2==0 ,3>=1W,4>>2E,4>>3A,");
  EXPECT_NE(&Success, &M);
  EXPECT_EQ(std::string(Importance::level_name(5)) + Importance::level_name(-1) +
                Importance::severity_name(4) + Importance::severity_name(-1),
            "??????");
}

TEST(ConfigTest, EffectiveMask) {
  Config c;
  for (const auto& row : context_support::case_rows("effective_mask.txt")) {
    c.display_mask = std::stoul(row[0], nullptr, 16);
    EXPECT_EQ(c.effective_mask(), std::stoul(row[1], nullptr, 16)) << row[0];
  }
}

}  // namespace
