#include "system/associations.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "sandbox_folders.h"
#include "system/files.h"
#include "system/paths.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using testsupport::SandboxFolders;

// A class key of the test's own, removed again on Windows (where the
// registry is the Wine prefix's).
class TestClassKey {
 public:
  explicit TestClassKey(const std::string& key) : key_(key) {}
  ~TestClassKey() {
#ifdef _WIN32
    RegDeleteTreeA(HKEY_CLASSES_ROOT, key_.c_str());
#endif
  }
  const std::string& key() const { return key_; }

 private:
  std::string key_;
};

TEST(FileAssociations, WritesOpenCommandAndIconWithoutQuotes) {
  SandboxFolders sandbox;
  TestClassKey abc(".brevion-abc");
  EXPECT_FALSE(sys::GetFileAssociation(abc.key()));

  sys::SetFileAssociation("C:\\App\\app.exe", abc.key(), "");
  auto association = sys::GetFileAssociation(abc.key());
  ASSERT_TRUE(association);
  EXPECT_EQ(association->openCommand, "C:\\App\\app.exe %1");
  EXPECT_EQ(association->defaultIcon, "C:\\App\\app.exe,0");
  EXPECT_EQ(sys::platform::ReadClassesRootDefault(abc.key() + "\\shell\\open\\command"),
            "C:\\App\\app.exe %1");

  TestClassKey spaced("Brevion.Test Document");
  sys::SetFileAssociation("C:\\Program Files\\My App\\app.exe", spaced.key(),
                          "C:\\Program Files\\My App\\doc.ico");
  association = sys::GetFileAssociation(spaced.key());
  ASSERT_TRUE(association);
  EXPECT_EQ(association->openCommand, "C:\\Program Files\\My App\\app.exe %1");
  EXPECT_EQ(association->defaultIcon, "C:\\Program Files\\My App\\doc.ico,0");
  // The first class is untouched by the second.
  EXPECT_EQ(sys::GetFileAssociation(abc.key())->openCommand, "C:\\App\\app.exe %1");
}

TEST(FileAssociations, ExistingClassKeepsItsOtherKeysAndValues) {
  SandboxFolders sandbox;
  TestClassKey key(".brevion-old");
  sys::platform::WriteClassesRootDefault(key.key(), "Old Document");
  sys::platform::WriteClassesRootDefault(key.key() + "\\shell\\edit\\command", "edit.exe %1");
  sys::SetFileAssociation("/opt/old/old", key.key(), "/opt/old/old.png");
  sys::SetFileAssociation("/opt/new/new", key.key(), "");

  auto association = sys::GetFileAssociation(key.key());
  ASSERT_TRUE(association);
  EXPECT_EQ(association->openCommand, "/opt/new/new %1");
  EXPECT_EQ(association->defaultIcon, "/opt/new/new,0");
  EXPECT_EQ(sys::platform::ReadClassesRootDefault(key.key()), "Old Document");
  EXPECT_EQ(sys::platform::ReadClassesRootDefault(key.key() + "\\shell\\edit\\command"),
            "edit.exe %1");
  // Key paths are matched without letter case, as in the registry.
  EXPECT_EQ(sys::platform::ReadClassesRootDefault(".BREVION-OLD\\DefaultIcon"), "/opt/new/new,0");
}

#ifndef _WIN32
TEST(FileAssociations, StoreIsAReadableTextFileInTheAllUsersDataFolder) {
  SandboxFolders sandbox;
  sys::SetFileAssociation("/opt/App/app", ".abc", "");
  const std::string store = sys::SpecialFolderPath("appdata") + "brevion/classes.ini";
  EXPECT_EQ(testsupport::ReadFile(store),
            "[.abc\\shell\\open\\command]\n@=/opt/App/app %1\n\n"
            "[.abc\\DefaultIcon]\n@=/opt/App/app,0\n");
  // A line break would split a value and forge a line: refused, store kept.
  EXPECT_THROW(sys::SetFileAssociation("/opt/x\n[.abc\\DefaultIcon]", ".abc", ""),
               std::runtime_error);
  EXPECT_EQ(sys::GetFileAssociation(".abc")->openCommand, "/opt/App/app %1");
}

TEST(FileAssociations, UnwritableStoreRaisesTheRegistryError) {
  SandboxFolders sandbox;
  // The application-data folder is taken by a file: no store can be made.
  sandbox.temp().Write("root/var/lib", "not a folder");
  try {
    sys::SetFileAssociation("/opt/App/app", ".abc", "");
    FAIL() << "no error raised";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "Failed to set data for ''");
  }
}
#endif

}  // namespace
