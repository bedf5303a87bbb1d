// Installation scripts built to exhaust: megabyte lines, and variables whose
// references nest deeply, refer to themselves or multiply. Parsing keeps what
// the rules say, and expanding a record ends quickly with a bounded result.
#include <gtest/gtest.h>

#include "installer/installer_fixture.h"
#include "system/settings.h"

namespace installer::testing {
namespace {

using sys::StringList;

class HostileScript : public InstallerTest {
 protected:
  void SetUp() override { MakeEngine(); }
};

TEST_F(HostileScript, MegabyteLinesAreReadByTheRules) {
  const std::string huge(1 << 20, 'x');
  engine->ParseScript({"#variables", "ProgramName=" + huge, "Long" + huge + "=value", "#" + huge, "Lost=1",
                       "#shortcuts", "0|" + huge + "|||", "# " + huge, "#associations", huge});
  EXPECT_EQ(engine->GetSettingValue("ProgramName"), huge);
  EXPECT_EQ(engine->GetSettingValue("Long" + huge), "value");
  EXPECT_FALSE(engine->HasSetting("Lost"));  // in the unknown section named by the long line
  EXPECT_EQ(engine->Script().shortcutLines, StringList{"0|" + huge + "|||"});
  EXPECT_EQ(engine->Script().associationLines, StringList{huge});
}

TEST_F(HostileScript, ReferencesThatNestReferToThemselvesOrMultiplyStayBounded) {
  StringList script = {"#variables", "Self=$Self$", "Loop1=$Loop2$", "Loop2=$Loop1$"};
  // A chain of 2,000 variables, each naming the next.
  for (int i = 0; i < 2000; ++i) script.push_back("Deep" + std::to_string(i) + "=$Deep" + std::to_string(i + 1) + "$");
  script.push_back("Deep2000=bottom");
  // Each value names the next variable twice: 2^60 copies if unbounded.
  for (int i = 0; i < 60; ++i) {
    const std::string next = "$Twice" + std::to_string(i + 1) + "$";
    script.push_back("Twice" + std::to_string(i) + "=" + next + next);
  }
  script.push_back("Twice60=leaf");
  engine->ParseScript(script);
  const StringList& variables = engine->Script().variables;

  // One pass in list order: a self-reference stays, a loop stops after one
  // turn, a chain written in order resolves to its end.
  EXPECT_EQ(sys::ExpandVariables(variables, "$Self$"), "$Self$");
  EXPECT_EQ(sys::ExpandVariables(variables, "$Loop1$"), "$Loop1$");
  EXPECT_EQ(sys::ExpandVariables(variables, "[$Deep0$]"), "[bottom]");

  const std::string multiplied = sys::ExpandVariables(variables, "$Twice0$");
  EXPECT_LE(multiplied.size(), 5 + sys::kMaxExpansionGrowth);
  EXPECT_GT(multiplied.size(), sys::kMaxExpansionGrowth / 4);  // expanded as far as the bound allows
  EXPECT_NE(multiplied.find("$Twice"), std::string::npos);    // the rest stays as written

  // A megabyte of references to a long value: bounded the same way, and in
  // one pass (a replacement per occurrence in place would take minutes).
  const StringList big = {"Small=s", "Big=" + std::string(4096, 'b')};
  std::string many;
  while (many.size() < (1 << 20)) many += "$small$$big$";
  const std::string expanded = sys::ExpandVariables(big, many);
  EXPECT_EQ(expanded.substr(0, 11), "s$big$s$big");
  EXPECT_LE(expanded.size(), many.size() + sys::kMaxExpansionGrowth);

  // Records expand each field under the same bound.
  sys::RecordFields fields;
  sys::SplitRecord("$Twice0$|$Deep0$|$Self$", fields, 0, &variables);
  EXPECT_LE(fields[0].size(), 8 + sys::kMaxExpansionGrowth);
  EXPECT_EQ(fields[1], "bottom");
  EXPECT_EQ(fields[2], "$Self$");
}

}  // namespace
}  // namespace installer::testing
