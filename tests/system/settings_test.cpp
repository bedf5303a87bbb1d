#include "system/settings.h"

#include <gtest/gtest.h>

#include "system/text.h"

namespace {

using sys::StringList;

TEST(SettingValues, LookupIgnoresCaseAndSkipsLinesWithoutEquals) {
  StringList list{"Version", "version=2.0", "Version=3.0"};
  EXPECT_EQ(sys::GetSettingValue("Version", list), "2.0");
  EXPECT_EQ(sys::GetSettingValue("missing", list), "");
  EXPECT_EQ(sys::GetSettingValue("missing", list, "VERSION"), "2.0");
  EXPECT_TRUE(sys::HasSetting("VERSION", list));
  EXPECT_FALSE(sys::HasSetting("Versio", list));
  // The value is everything after the first "=".
  StringList withEquals{"cmd=a=b"};
  EXPECT_EQ(sys::GetSettingValue("cmd", withEquals), "a=b");
}

TEST(SettingValues, EmptyValueDeletesTheFirstMatchRevealingTheNext) {
  StringList list{"a=1", "A=2"};
  EXPECT_EQ(sys::GetSettingValue("a", list), "1");
  EXPECT_TRUE(sys::SetSettingValue("A", "", list, false));
  EXPECT_EQ(list, (StringList{"A=2"}));
  EXPECT_EQ(sys::GetSettingValue("a", list), "2");
}

TEST(SettingValues, SetKeepsTheFoundLinesOwnName) {
  StringList list{"Title=old", "other=x"};
  EXPECT_TRUE(sys::SetSettingValue("TITLE", "new", list, false));
  EXPECT_EQ(list[0], "Title=new");
  // Found through the alternative name: that line keeps its name.
  EXPECT_TRUE(sys::SetSettingValue("caption", "alt", list, true, "OTHER"));
  EXPECT_EQ(list, (StringList{"Title=new", "other=alt"}));
  // An empty alternative name is never looked up (a line "=v" exists).
  list.push_back("=v");
  EXPECT_FALSE(sys::SetSettingValue("absent", "z", list, false, ""));
  EXPECT_EQ(list.size(), 3u);
}

TEST(SettingValues, MissingNameIsAppendedOnlyWithTheFlag) {
  StringList list;
  EXPECT_FALSE(sys::SetSettingValue("n", "v", list, false));
  EXPECT_TRUE(list.empty());
  EXPECT_FALSE(sys::SetSettingValue("n", "", list, true));
  EXPECT_EQ(list, (StringList{"n="}));
  EXPECT_TRUE(sys::HasSetting("n", list));
  EXPECT_EQ(sys::GetSettingValue("n", list), "");
}

TEST(SettingValues, BooleanIsTrueOnlyForTrueInAnyCase) {
  StringList list{"a=TRUE", "b=True", "c=yes", "d=1", "e= true", "f="};
  EXPECT_TRUE(sys::GetSettingBool("a", list));
  EXPECT_TRUE(sys::GetSettingBool("b", list));
  for (const char* name : {"c", "d", "e", "f", "missing"})
    EXPECT_FALSE(sys::GetSettingBool(name, list)) << name;
  EXPECT_TRUE(sys::GetSettingBool("missing", list, "A"));
}

TEST(SettingLines, SecondEqualsCutsTheValueAndEmptyValueChangesNothing) {
  StringList list{"key=old"};
  EXPECT_TRUE(sys::AssignSettingLine("KEY=a=b", list));
  EXPECT_EQ(list, (StringList{"key=a"}));
  EXPECT_FALSE(sys::AssignSettingLine("key=", list));
  EXPECT_FALSE(sys::AssignSettingLine("novalue", list));
  EXPECT_EQ(list, (StringList{"key=a"}));
  EXPECT_FALSE(sys::AssignSettingLine("new=1", list));  // appended, not found
  EXPECT_EQ(list, (StringList{"key=a", "new=1"}));
}

StringList Split(std::string_view text, std::string_view separators) {
  StringList items;
  sys::SplitDelimited(text, separators, items);
  return items;
}

TEST(Delimited, SplitKeepsEmptyItemsButNoTrailingOne) {
  EXPECT_EQ(Split("", "|"), StringList{});
  EXPECT_EQ(Split("a|", "|"), (StringList{"a"}));
  EXPECT_EQ(Split("|a|", "|"), (StringList{"", "a"}));
  EXPECT_EQ(Split("a||b", "|"), (StringList{"a", "", "b"}));
  EXPECT_EQ(Split("|", "|"), (StringList{""}));
  EXPECT_EQ(Split("a,b|c", ",|"), (StringList{"a", "b", "c"}));
  EXPECT_EQ(Split(" a | b ", "|"), (StringList{" a ", " b "}));
  EXPECT_EQ(Split("a|b", ""), (StringList{"a|b"}));
  StringList appended{"x"};
  sys::SplitDelimited("y", "|", appended);
  EXPECT_EQ(appended, (StringList{"x", "y"}));
  EXPECT_EQ(sys::SplitOnBar("a||b|"), (StringList{"a", "", "b"}));
}

// Every line end counts once: CR LF is one end, not an empty line between.
TEST(Delimited, LinesEndAtCrLfLfOrCr) {
  EXPECT_EQ(sys::SplitLines(""), StringList{});
  EXPECT_EQ(sys::SplitLines("a\r\nb\nc\rd"), (StringList{"a", "b", "c", "d"}));
  EXPECT_EQ(sys::SplitLines("a\r\n\r\nb\r\n"), (StringList{"a", "", "b"}));
  EXPECT_EQ(sys::SplitLines("\n\r"), (StringList{"", ""}));
}

// A separator goes between every two parts, empty ones too.
TEST(Delimited, JoinPutsTheSeparatorBetweenParts) {
  EXPECT_EQ(sys::JoinWith({}, ", "), "");
  EXPECT_EQ(sys::JoinWith({"a"}, ", "), "a");
  EXPECT_EQ(sys::JoinWith({"", "b", "c"}, ", "), ", b, c");
}

TEST(Delimited, JoinRangesAndRotatingSeparators) {
  const StringList abc{"a", "b", "c"};
  EXPECT_EQ(sys::JoinDelimited({}, "|"), "");
  EXPECT_EQ(sys::JoinDelimited(abc, "|"), "a|b|c");
  EXPECT_EQ(sys::JoinDelimited(abc, "|", 2), "c");
  EXPECT_EQ(sys::JoinDelimited(abc, "|", 0, 1), "a|b");
  EXPECT_EQ(sys::JoinDelimited(abc, "|", 1, 99), "b|c");
  EXPECT_EQ(sys::JoinDelimited(abc, "|", 2, 1), "");
  EXPECT_EQ(sys::JoinDelimited(abc, "|", 5), "");
  // The separator is chosen by the index of the entry it follows.
  EXPECT_EQ(sys::JoinDelimited(abc, ",;"), "a,b;c");
  EXPECT_EQ(sys::JoinDelimited(abc, ",;", 1), "b;c");
}

TEST(Delimited, ListValuesWithOwnOrDefaultSeparator) {
  StringList items{"stale"};
  sys::SplitListValue("_list;x;y", items, "}");
  EXPECT_EQ(items, (StringList{"x", "y"}));
  sys::SplitListValue("x}y", items, "}");
  EXPECT_EQ(items, (StringList{"x", "y"}));
  sys::SplitListValue("_list|a,b|c", items, ",");
  EXPECT_EQ(items, (StringList{"a,b", "c"}));
  sys::SplitListValue("_list", items, "}");
  EXPECT_TRUE(items.empty());
  sys::SplitListValue("", items, "}");
  EXPECT_TRUE(items.empty());
}

TEST(Records, FieldsFromTheFirstIndexWithExpansion) {
  const StringList variables{"install_dir=C:\\App\\"};
  sys::RecordFields fields;
  fields.fill("stale");
  EXPECT_EQ(sys::SplitRecord("d|$install_dir$app.exe||App|", fields, 0, &variables), 4);
  EXPECT_EQ(fields, (sys::RecordFields{"d", "C:\\App\\app.exe", "", "App", "", "", ""}));

  EXPECT_EQ(sys::SplitRecord("kind|a|b", fields, 1, nullptr), 2);
  EXPECT_EQ(fields[0], "a");
  EXPECT_EQ(fields[1], "b");
  EXPECT_EQ(fields[2], "");
  EXPECT_EQ(sys::SplitRecord("only", fields, 3, nullptr), -2);
  EXPECT_EQ(fields[0], "");
  // Without a variables list references stay as written.
  sys::SplitRecord("$install_dir$", fields, 0, nullptr);
  EXPECT_EQ(fields[0], "$install_dir$");
  // Fields after the seventh are ignored but still counted.
  EXPECT_EQ(sys::SplitRecord("0|1|2|3|4|5|6|7|8", fields, 0, nullptr), 9);
  EXPECT_EQ(fields[6], "6");
}

TEST(Records, ExpansionFollowsListOrder) {
  // b's value refers to a, which comes earlier: it is not expanded again.
  const StringList aFirst{"a=A", "b=[$a$]"};
  EXPECT_EQ(sys::ExpandVariables(aFirst, "$b$"), "[$a$]");
  // a's value refers to b, which comes later: it is expanded.
  const StringList bLater{"a=[$b$]", "b=B"};
  EXPECT_EQ(sys::ExpandVariables(bLater, "$a$"), "[B]");
  const StringList dirs{"install_dir=C:\\App\\"};
  EXPECT_EQ(sys::ExpandVariables(dirs, "$INSTALL_DIR$x $install_dir$y $unknown$"),
            "C:\\App\\x C:\\App\\y $unknown$");
  EXPECT_EQ(sys::ExpandVariables(dirs, "no marks"), "no marks");
  // A value holding its own reference does not loop.
  const StringList self{"s=$s$!"};
  EXPECT_EQ(sys::ExpandVariables(self, "$s$"), "$s$!");
}

TEST(ListUtilities, RemoveEntriesWithAndWithoutCase) {
  StringList target{"install", "Data", "INSTALL", "docs", "install"};
  sys::RemoveEntriesInString("install|docs", target, true);
  EXPECT_EQ(target, (StringList{"Data", "INSTALL"}));
  sys::RemoveEntriesInString("install", target, false);
  EXPECT_EQ(target, (StringList{"Data"}));
  sys::RemoveListedEntries(StringList{"data"}, target, true);
  EXPECT_EQ(target, (StringList{"Data"}));
  sys::RemoveListedEntries(StringList{"data"}, target, false);
  EXPECT_TRUE(target.empty());
}

}  // namespace
