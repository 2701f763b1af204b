// Importance constants and names, the consultant field and the effective
// display mask.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Vantrel.h"

namespace {

using namespace Vantrel;

struct ConstantCase {
  const char* name;
  const Importance* value;
  int level;
  int severity;
};

TEST(ImportanceTest, ConstantsHaveTheirValuesOnceStarted) {
  const ConstantCase cases[] = {
      {"XS", &XS, 0, 0},
      {"S", &S, 1, 0},
      {"M", &M, 2, 0},
      {"L", &L, 3, 0},
      {"XL", &XL, 4, 0},
      {"Success", &Success, 2, 0},
      {"Warning", &Warning, 3, 1},
      {"Error", &Error, 4, 2},
      {"Assert", &Assert, 4, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.value->level, c.level);
    EXPECT_EQ(c.value->severity, c.severity);
    EXPECT_EQ(c.value->file, nullptr);
    EXPECT_EQ(c.value->line, 0);
  }
  EXPECT_NE(&Success, &M);
}

TEST(ImportanceTest, LevelAndSeverityNames) {
  const char* levels[] = {"<<", "<=", "==", ">=", ">>"};
  for (int i = 0; i < 5; ++i) EXPECT_STREQ(Importance::level_name(i), levels[i]);
  EXPECT_STREQ(Importance::level_name(5), "??");
  EXPECT_STREQ(Importance::level_name(-1), "??");
  const char* severities[] = {" ", "W", "E", "A"};
  for (int i = 0; i < 4; ++i) EXPECT_STREQ(Importance::severity_name(i), severities[i]);
  EXPECT_STREQ(Importance::severity_name(4), "?");
}

TEST(ConfigTest, ConsultantIsCutTo63Characters) {
  Config c;
  c.set_consultant(std::string(100, 'c'));
  EXPECT_EQ(std::strlen(c.consultant), 63u);
  EXPECT_EQ(std::string(c.consultant), std::string(63, 'c'));
  c.set_consultant("ann");
  EXPECT_STREQ(c.consultant, "ann");
}

// The literal masks are the unions of the columns they name, and the always
// shown and selectable columns split the 25 columns between them.
static_assert(workflow_mask == (tick_mask | depth_mask | root_mask | caller_mask | callee_mask));
static_assert(all_mask == (1u << 25) - 1);
static_assert((always_shown_mask | selectable_mask) == all_mask);
static_assert((always_shown_mask & selectable_mask) == 0);

TEST(ConfigTest, EffectiveMask) {
  const struct {
    unsigned mask, effective;
  } cases[] = {{none_mask, 0x4000fd},
               {all_mask, 0x1ffffff},
               {rank_mask, 0x4000ff},
               {time_mask, 0x4000fd},
               {0xffffffff, 0x1ffffff}};
  for (const auto& c : cases) {
    Config config;
    config.display_mask = c.mask;
    EXPECT_EQ(config.effective_mask(), c.effective) << std::hex << c.mask;
  }
}

}  // namespace
