// Importance constants and names, the settings record's defaults and the
// effective display mask.
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

TEST(ConfigTest, DefaultRecord) {
  const Config c;
  EXPECT_FALSE(c.active);
  EXPECT_EQ(c.importance.level, 2);
  EXPECT_EQ(c.importance.severity, 0);
  EXPECT_EQ(c.importance.file, nullptr);
  EXPECT_EQ(c.size, 10000u);
  EXPECT_FALSE(c.keep);
  EXPECT_EQ(c.display_mask, 0u);
  EXPECT_EQ(c.major_steps_display_width + c.minor_steps_display_width +
                c.workflow_names_display_width + c.workflow_ids_display_width +
                c.actors_display_width,
            0);
  EXPECT_STREQ(c.consultant, "");
}

TEST(ConfigTest, ConsultantIsCutTo63Characters) {
  Config c;
  c.set_consultant(std::string(100, 'c'));
  EXPECT_EQ(std::strlen(c.consultant), 63u);
  EXPECT_EQ(std::string(c.consultant), std::string(63, 'c'));
  c.set_consultant("ann");
  EXPECT_STREQ(c.consultant, "ann");
}

TEST(ConfigTest, EffectiveMask) {
  unsigned all_bits = 0;
  for (int bit = 0; bit < 25; ++bit) all_bits |= 1u << bit;
  EXPECT_EQ(all_mask, all_bits);
  EXPECT_EQ(none_mask, 0u);

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

TEST(ConfigTest, NamedGroups) {
  EXPECT_EQ(debug_mask, 0x1800000u);
  EXPECT_EQ(process_mask, 0x63u);
  EXPECT_EQ(diagnostic_mask, 0x1cu);
  EXPECT_EQ(steps_mask, 0xf00u);
  EXPECT_EQ(tick_mask, 0x380u);
  EXPECT_EQ(depth_mask, 0xc80u);
  EXPECT_EQ(workflow_mask, 0x3ff80u);
  EXPECT_EQ(workflow_names_mask, 0x15000u);
  EXPECT_EQ(workflow_ids_mask, 0x2a000u);
  EXPECT_EQ(actors_mask, 0x3c0000u);
}

}  // namespace
