#include "system/associations.h"

#include <gtest/gtest.h>

#include <fstream>
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

// The program path as read back: POSIX systems read "\\" as "/".
std::string AsStored(std::string path) {
  if (sys::PathSeparator() == '/')
    for (char& c : path)
      if (c == '\\') c = '/';
  return path;
}

TEST(FileAssociations, WritesOpenCommandAndIconWithoutQuotes) {
  SandboxFolders sandbox;
  TestClassKey abc(".brevion-abc");
  EXPECT_FALSE(sys::GetFileAssociation(abc.key()));

  sys::SetFileAssociation("C:\\App\\app.exe", abc.key(), "");
  auto association = sys::GetFileAssociation(abc.key());
  ASSERT_TRUE(association);
  EXPECT_EQ(association->openCommand, AsStored("C:\\App\\app.exe") + " %1");
  EXPECT_EQ(association->defaultIcon, AsStored("C:\\App\\app.exe") + ",0");

  TestClassKey spaced("Brevion.Test Document");
  sys::SetFileAssociation("C:\\Program Files\\My App\\app.exe", spaced.key(),
                          "C:\\Program Files\\My App\\doc.ico");
  association = sys::GetFileAssociation(spaced.key());
  ASSERT_TRUE(association);
  EXPECT_EQ(association->openCommand, AsStored("C:\\Program Files\\My App\\app.exe") + " %1");
  EXPECT_EQ(association->defaultIcon, AsStored("C:\\Program Files\\My App\\doc.ico") + ",0");
  // The first class is untouched by the second.
  EXPECT_EQ(sys::GetFileAssociation(abc.key())->openCommand, AsStored("C:\\App\\app.exe") + " %1");
}

TEST(FileAssociations, ALaterAssociationOfTheClassReplacesTheEarlier) {
  SandboxFolders sandbox;
  TestClassKey key(".brevion-old");
#ifdef _WIN32
  sys::platform::WriteClassesRootDefault(key.key(), "Old Document");
  sys::platform::WriteClassesRootDefault(key.key() + "\\shell\\edit\\command", "edit.exe %1");
#endif
  sys::SetFileAssociation("/opt/old/old", key.key(), "/opt/old/old.png");
  sys::SetFileAssociation("/opt/new/new", key.key(), "");

  auto association = sys::GetFileAssociation(key.key());
  ASSERT_TRUE(association);
  EXPECT_EQ(association->openCommand, "/opt/new/new %1");
  EXPECT_EQ(association->defaultIcon, "/opt/new/new,0");
  // Removing the earlier program's association leaves the later one.
  sys::RemoveFileAssociation("/opt/old/old", key.key());
  EXPECT_EQ(sys::GetFileAssociation(key.key())->openCommand, "/opt/new/new %1");
#ifdef _WIN32
  // Other keys of the class stay, and keys are matched without letter case.
  EXPECT_EQ(sys::platform::ReadClassesRootDefault(key.key()), "Old Document");
  EXPECT_EQ(sys::platform::ReadClassesRootDefault(key.key() + "\\shell\\edit\\command"), "edit.exe %1");
  EXPECT_EQ(sys::platform::ReadClassesRootDefault(".BREVION-OLD\\DefaultIcon"), "/opt/new/new,0");
  sys::RemoveFileAssociation("/opt/new/new", key.key());
  EXPECT_TRUE(sys::GetFileAssociation(key.key())) << "Windows keeps associations";
#endif
}

// A rolled-back installation's association: a class that had no opener
// before has none again, one that had is given its own back.
TEST(FileAssociations, RestoringPutsTheClassBackAsItWas) {
  SandboxFolders sandbox;
  TestClassKey fresh(".brevion-fresh");
  const auto none = sys::platform::ReadFileClass(fresh.key());
  ASSERT_FALSE(none);
  sys::platform::RegisterFileClass("/opt/app/app", fresh.key(), "/opt/app/app.png");
  sys::platform::RestoreFileClass("/opt/app/app", fresh.key(), none);
  EXPECT_FALSE(sys::GetFileAssociation(fresh.key()));
#ifdef _WIN32
  HKEY left = nullptr;
  EXPECT_NE(RegOpenKeyExA(HKEY_CLASSES_ROOT, fresh.key().c_str(), 0, KEY_READ, &left), ERROR_SUCCESS)
      << "the class key made for the association is removed";
  if (left) RegCloseKey(left);

  // An existing class keeps its other keys and gets its opener back; the
  // icon it did not have goes.
  TestClassKey old(".brevion-kept");
  sys::platform::WriteClassesRootDefault(old.key(), "Old Document");
  sys::platform::WriteClassesRootDefault(old.key() + sys::kOpenCommandKey, "old.exe %1");
  const auto before = sys::platform::ReadFileClass(old.key());
  sys::platform::RegisterFileClass("C:\\App\\app.exe", old.key(), "C:\\App\\app.exe");
  sys::platform::RestoreFileClass("C:\\App\\app.exe", old.key(), before);
  EXPECT_EQ(sys::platform::ReadClassesRootDefault(old.key()), "Old Document");
  EXPECT_EQ(sys::platform::ReadClassesRootDefault(old.key() + sys::kOpenCommandKey), "old.exe %1");
  EXPECT_FALSE(sys::platform::ReadClassesRootDefault(old.key() + sys::kDefaultIconKey));
#endif
}

#ifndef _WIN32
TEST(FileAssociations, DesktopDatabaseFilesAreWrittenAndRemoved) {
  SandboxFolders sandbox;
  const std::string data = sandbox.temp().dir() + "root/usr/share/";
  const std::string icon = sandbox.temp().Write("icon.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x30\0\0\0\x30", 24));
  sys::SetFileAssociation("/opt/My App/Note Pad.bin", ".Note", icon);
  const std::string xml = testsupport::ReadFile(data + "mime/packages/brevion-note.xml");
  EXPECT_NE(xml.find("<mime-type type=\"application/x-note-pad-note\">"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<glob pattern=\"*.Note\"/>"), std::string::npos) << xml;
  const std::string handler = testsupport::ReadFile(data + "applications/brevion-note.desktop");
  EXPECT_NE(handler.find("Exec=\"/opt/My App/Note Pad.bin\" %f\n"), std::string::npos) << handler;
  EXPECT_NE(handler.find("MimeType=application/x-note-pad-note;\n"), std::string::npos) << handler;
  const std::string list = sandbox.temp().dir() + "root/etc/xdg/mimeapps.list";
  EXPECT_EQ(testsupport::ReadFile(list), "[Default Applications]\napplication/x-note-pad-note=brevion-note.desktop;\n");
  const std::string themeIcon = data + "icons/hicolor/48x48/mimetypes/application-x-note-pad-note.png";
  EXPECT_TRUE(sys::FileExists(themeIcon));

  // A line break would split a value and forge a line: refused, files kept.
  EXPECT_THROW(sys::SetFileAssociation("/opt/x\nMimeType=text/plain", ".note", ""), std::runtime_error);
  EXPECT_EQ(sys::GetFileAssociation(".note")->openCommand, "/opt/My App/Note Pad.bin %1");

  // The user's other defaults survive the removal.
  std::ofstream(list, std::ios::app) << "text/plain=editor.desktop;\n";
  sys::RemoveFileAssociation("/opt/My App/Note Pad.bin", ".Note");
  EXPECT_FALSE(sys::GetFileAssociation(".Note"));
  EXPECT_FALSE(sys::FileExists(data + "mime/packages/brevion-note.xml"));
  EXPECT_FALSE(sys::FileExists(data + "applications/brevion-note.desktop"));
  EXPECT_FALSE(sys::FileExists(themeIcon));
  EXPECT_EQ(testsupport::ReadFile(list), "[Default Applications]\ntext/plain=editor.desktop;\n");
}

TEST(FileAssociations, UnwritableStoreRaisesTheRegistryError) {
  SandboxFolders sandbox;
  // The all-users data folder is taken by a file: nothing can be written.
  sandbox.temp().Write("root/usr/share", "not a folder");
  try {
    sys::SetFileAssociation("/opt/App/app", ".abc", "");
    FAIL() << "no error raised";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "Failed to set data for ''");
  }
}
#endif

}  // namespace
