// The built program on real projects: two builds of the same project give
// the same bytes, and a Windows installer signed with osslsigncode still
// opens, verifies and installs. Needs BREVION_BUILD_DIR (set by CTest) and a
// POSIX shell; the Windows installer needs the cross-built program in
// build/windows, signing needs osslsigncode and openssl; skipped otherwise.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/built_program.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::Quoted;

const fs::path kExampleProject = fs::path(BREVION_TEST_DATA) / ".." / ".." / "examples" / "notes";


bool HaveCommand(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Copies the project's files in the given order (which is the order a
// file system that lists by creation shows them) and gives every file the
// same date.
void CopyProject(const fs::path& to, bool reverse) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(kExampleProject)) {
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), kExampleProject));
  }
  std::sort(files.begin(), files.end());
  if (reverse) std::reverse(files.begin(), files.end());
  const auto date = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  const auto fixed = std::chrono::floor<std::chrono::hours>(date);
  for (const fs::path& file : files) {
    fs::create_directories((to / file).parent_path());
    fs::copy_file(kExampleProject / file, to / file);
    fs::last_write_time(to / file, fixed);
  }
}

class BuiltProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* build = std::getenv("BREVION_BUILD_DIR");
    if (!build || !fs::exists(fs::path(build) / "brevion")) {
      GTEST_SKIP() << "BREVION_BUILD_DIR does not name a build with the program";
    }
    // The builder takes a Windows stub from its own folder; the program is
    // copied (not linked) because it finds its folder through its own path.
    fs::create_directories(work.path() / "bin");
    program = (work.path() / "bin" / "brevion").string();
    fs::copy_file(fs::path(build) / "brevion", program);
    fs::permissions(program, fs::perms::owner_exec, fs::perm_options::add);
    const fs::path windows = fs::path(build) / ".." / "windows" / "brevion.exe";
    if (fs::exists(windows)) {
      windowsProgram = (work.path() / "bin" / "brevion.exe").string();
      fs::copy_file(windows, windowsProgram);
    }
    for (const char* folder : {"home", "tmp", "root"}) fs::create_directories(work.path() / folder);
  }

  int Run(const std::string& command, const std::string& input = "") {
    const std::string log = (logs.path() / "run.log").string();
    const std::string line = "printf '%s' " + Quoted(input) + " | env -u XDG_DATA_HOME -u XDG_CONFIG_HOME" +
                             " -u XDG_DESKTOP_DIR -u XDG_DOCUMENTS_DIR BREVION_ROOT=" +
                             Quoted(work.dir() + "root") + " HOME=" + Quoted(work.dir() + "home") +
                             " TMPDIR=" + Quoted(work.dir() + "tmp") + " " + command + " > " + Quoted(log) +
                             " 2>&1";
    const int status = std::system(line.c_str());
    output = ReadFile(log);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string Build(const std::string& output_name, const fs::path& project) {
    const std::string package = work.dir() + output_name;
    EXPECT_EQ(Run(Quoted(program) + " build " + Quoted(package) + " " + Quoted(project.string()) + " normal"), 0)
        << output;
    return package;
  }

  testsupport::TempDir work, logs;
  std::string program, windowsProgram, output;
};

TEST_F(BuiltProgramTest, TwoBuildsOfOneProjectAreByteIdentical) {
  CopyProject(work.path() / "project", false);
  CopyProject(work.path() / "again", true);
  std::vector<std::string> kinds{".bin"};
  if (!windowsProgram.empty()) kinds.push_back(".exe");
  for (const std::string& kind : kinds) {
    SCOPED_TRACE(kind);
    // One file name in three folders: a Windows installer records its name.
    for (const char* folder : {"first", "second", "third"}) fs::create_directories(work.path() / folder);
    const std::string first = ReadFile(Build("first/setup" + kind, work.path() / "project"));
    ASSERT_FALSE(first.empty());
    EXPECT_TRUE(ReadFile(Build("second/setup" + kind, work.path() / "project")) == first);
    // The same files created in the opposite order, in another folder.
    EXPECT_TRUE(ReadFile(Build("third/setup" + kind, work.path() / "again")) == first);
  }
  // Archives too: the archive mode asks for the name.
  fs::create_directories(work.path() / "archives");
  for (const char* name : {"a", "b"}) {
    const fs::path source = work.path() / (name == std::string("a") ? "project" : "again") / "files";
    ASSERT_EQ(Run(Quoted(program) + " archive " + Quoted(work.dir() + "archives") + " " + Quoted(source.string()),
                  std::string(name) + "\n"),
              0)
        << output;
  }
  const std::string archive = ReadFile(work.dir() + "archives/a.bvarc");
  ASSERT_FALSE(archive.empty());
  EXPECT_TRUE(archive == ReadFile(work.dir() + "archives/b.bvarc"));
}

// UTF-16LE bytes of ASCII text, as version information holds its strings.
std::string Utf16(const std::string& text) {
  std::string out;
  for (char c : text) out += {c, '\0'};
  return out;
}

TEST_F(BuiltProgramTest, InstallerSignedWithOsslsigncodeOpensAndInstalls) {
  if (windowsProgram.empty()) GTEST_SKIP() << "no cross-built brevion.exe in build/windows";
  if (!HaveCommand("osslsigncode") || !HaveCommand("openssl")) GTEST_SKIP() << "osslsigncode or openssl missing";
  const bool readers = HaveCommand("wrestool") && HaveCommand("x86_64-w64-mingw32-objdump");
  CopyProject(work.path() / "notes", false);
  const fs::path script = work.path() / "notes" / "files" / "install.dat";
  std::string text = ReadFile(script.string());
  text.insert(text.find("StartMenuFolder="), "Publisher=Brevion Test Publisher\nCopyright=(c) 2026 Test\n");
  work.Write("notes/files/install.dat", text);
  const std::string installer = Build("notes-setup.exe", work.path() / "notes");
  // The icon and version read back by tools of their own: the example's
  // icon (its one image), the script's strings, the manifest kept.
  const std::string icon = ReadFile(kExampleProject / "files" / "install_dir" / "notes.ico");
  const auto icoField = [&](size_t offset) {
    return static_cast<size_t>(static_cast<uint8_t>(icon[offset]) | static_cast<uint8_t>(icon[offset + 1]) << 8 |
                               static_cast<uint8_t>(icon[offset + 2]) << 16);
  };
  const auto expectBranded = [&](const std::string& file) {
    SCOPED_TRACE(file);
    if (!readers) return;
    ASSERT_EQ(Run("wrestool -l " + Quoted(file)), 0) << output;
    EXPECT_NE(output.find("--type=14 --name='MAINICON'"), std::string::npos) << output;
    EXPECT_NE(output.find("--type=24 --name=1"), std::string::npos) << output;
    const std::string extracted = work.dir() + "extracted.res";
    ASSERT_EQ(Run("wrestool -x -R --type=3 --name=1 -o " + Quoted(extracted) + " " + Quoted(file)), 0) << output;
    EXPECT_TRUE(ReadFile(extracted) == icon.substr(icoField(18), icoField(14)));
    ASSERT_EQ(Run("wrestool -x -R --type=16 -o " + Quoted(extracted) + " " + Quoted(file)), 0) << output;
    const std::string version = ReadFile(extracted);
    for (const char* value : {"Brevion Notes Setup", "Brevion Test Publisher", "(c) 2026 Test", "notes-setup.exe", "1.2"}) {
      EXPECT_NE(version.find(Utf16(value)), std::string::npos) << value;
    }
    EXPECT_EQ(version.find(Utf16("Brevion Software")), std::string::npos);
    ASSERT_EQ(Run("x86_64-w64-mingw32-objdump -p " + Quoted(file)), 0) << output;
    EXPECT_NE(output.find("Resource Directory [.rsrc]"), std::string::npos);
    EXPECT_NE(output.find("Base Relocation Directory [.reloc]"), std::string::npos);
    EXPECT_NE(output.find("]: MAINICON"), std::string::npos);
  };
  expectBranded(installer);
  ASSERT_EQ(Run(Quoted(program) + " --test " + Quoted(installer)), 0) << output;
  const std::string key = work.dir() + "key.pem", cert = work.dir() + "cert.pem";
  const std::string signedInstaller = work.dir() + "notes-signed.exe";
  ASSERT_EQ(Run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Brevion Test Publisher' -keyout " +
                Quoted(key) + " -out " + Quoted(cert)),
            0)
      << output;
  ASSERT_EQ(Run("osslsigncode sign -certs " + Quoted(cert) + " -key " + Quoted(key) + " -n 'Brevion Notes' -in " +
                Quoted(installer) + " -out " + Quoted(signedInstaller)),
            0)
      << output;
  ASSERT_EQ(Run("osslsigncode verify -CAfile " + Quoted(cert) + " -in " + Quoted(signedInstaller)), 0) << output;
  ASSERT_GT(ReadFile(signedInstaller).size(), ReadFile(installer).size());
  expectBranded(signedInstaller);

  ASSERT_EQ(Run(Quoted(program) + " --test " + Quoted(signedInstaller)), 0) << output;
  EXPECT_EQ(output, "OK\n");
  ASSERT_EQ(Run(Quoted(program) + " --list " + Quoted(signedInstaller)), 0) << output;
  EXPECT_NE(output.find("install_dir\\notes.cmd\t"), std::string::npos) << output;

  // Installed on Linux from the signed file: the files arrive, and the
  // uninstaller copy is the installer's own program, branded as it.
  const std::string install = work.dir() + "apps/Brevion Notes/";
  ASSERT_EQ(Run(Quoted(program) + " install " + Quoted(signedInstaller),
                "1\ni accept\nROptionsCustomDir=1\nEOptionsInstallDir=" + install + "\nNext\nClose\n"),
            0)
      << output;
  EXPECT_EQ(ReadFile(install + "notes.cmd"), ReadFile(kExampleProject / "files" / "install_dir" / "notes.cmd"));
  const std::string uninstaller = ReadFile(work.dir() + "root/var/lib/BrevionNotes/uninst3.exe");
  ASSERT_GT(uninstaller.size(), 8u);
  const std::string stubCopy = uninstaller.substr(0, uninstaller.size() - 8);
  EXPECT_TRUE(ReadFile(installer).substr(0, stubCopy.size()) == stubCopy);
  expectBranded(work.dir() + "root/var/lib/BrevionNotes/uninst3.exe");
}

}  // namespace
