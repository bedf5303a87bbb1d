// The installer's own icon and version written into a Windows stub: the
// resource section rewritten in a small image laid out as the linker lays
// out the program (code, resources, relocations), icon files good and bad,
// and a build that takes its icon from the project.
#include <gtest/gtest.h>

#include <cstring>

#include "archive/pe_image.h"
#include "archive/pe_resources.h"
#include "compression/stream.h"
#include "installer/installer_fixture.h"
#include "installer/setup_branding.h"

namespace installer::testing {
namespace {

namespace pe = archive::pe;
using testsupport::ReadFile;

void Put(std::vector<uint8_t>& bytes, size_t offset, uint32_t value, int count) {
  for (int i = 0; i < count; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}
uint32_t Get(const std::vector<uint8_t>& bytes, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | bytes[offset + i];
  return value;
}

// PE32+ image: headers to 0x200, ".text" at RVA 0x1000, ".rsrc" at 0x2000
// holding `resources`, then `after` (".reloc" unless a test says otherwise)
// at the next 0x1000 with base relocations 0xA5 x 0x20.
constexpr size_t kOptional = 0x58, kDirectories = kOptional + 112, kSections = kOptional + 240;
constexpr uint8_t kRelocationByte = 0xA5;

std::vector<uint8_t> Image(const pe::Resources& resources, const char* after = ".reloc") {
  std::vector<uint8_t> image(0x400, 0);
  image[0] = 'M';
  image[1] = 'Z';
  Put(image, 0x3C, 0x40, 4);
  std::memcpy(&image[0x40], "PE\0\0", 4);
  Put(image, 0x44, 0x8664, 2);
  Put(image, 0x46, 3, 2);
  Put(image, 0x54, 240, 2);
  Put(image, kOptional, 0x20B, 2);
  Put(image, kOptional + 32, 0x1000, 4);
  Put(image, kOptional + 36, 0x200, 4);
  Put(image, kOptional + 60, 0x200, 4);
  Put(image, kOptional + 108, 16, 4);
  for (size_t i = 0x200; i < 0x400; ++i) image[i] = 0xCC;  // code
  const std::vector<uint8_t> tree = pe::ResourceSectionBytes(resources, 0x2000);
  const uint32_t treeRaw = (static_cast<uint32_t>(tree.size()) + 0x1FF) / 0x200 * 0x200;
  image.insert(image.end(), tree.begin(), tree.end());
  image.resize(0x400 + treeRaw, 0);
  const uint32_t relocationRva = 0x2000 + (static_cast<uint32_t>(tree.size()) + 0xFFF) / 0x1000 * 0x1000;
  image.resize(image.size() + 0x200, kRelocationByte);
  const struct {
    const char* name;
    uint32_t size, rva, raw, pointer;
  } sections[] = {{".text", 0x200, 0x1000, 0x200, 0x200},
                  {".rsrc", static_cast<uint32_t>(tree.size()), 0x2000, treeRaw, 0x400},
                  {after, 0x20, relocationRva, 0x200, 0x400 + treeRaw}};
  for (size_t i = 0; i < 3; ++i) {
    const size_t header = kSections + i * 40;
    std::memcpy(&image[header], sections[i].name, std::strlen(sections[i].name));
    Put(image, header + 8, sections[i].size, 4);
    Put(image, header + 12, sections[i].rva, 4);
    Put(image, header + 16, sections[i].raw, 4);
    Put(image, header + 20, sections[i].pointer, 4);
  }
  Put(image, kDirectories + 2 * 8, 0x2000, 4);
  Put(image, kDirectories + 2 * 8 + 4, static_cast<uint32_t>(tree.size()), 4);
  Put(image, kDirectories + 5 * 8, relocationRva, 4);
  Put(image, kDirectories + 5 * 8 + 4, 0x20, 4);
  Put(image, kOptional + 56, relocationRva + 0x1000, 4);
  return image;
}

pe::Resource Entry(pe::ResourceName type, pe::ResourceName name, size_t size, uint8_t fill) {
  return {std::move(type), std::move(name), pe::kLanguageEnglishUs, 0, std::vector<uint8_t>(size, fill)};
}

// The program's own resources as its resource script makes them.
pe::Resources ToolResources() {
  return {Entry({pe::kResourceManifest, {}}, {1, {}}, 300, 'm'), Entry({pe::kResourceIcon, {}}, {1, {}}, 900, 'i'),
          Entry({pe::kResourceIcon, {}}, {2, {}}, 700, 'j'),
          Entry({pe::kResourceGroupIcon, {}}, {0, u"MAINICON"}, 34, 'g'),
          Entry({pe::kResourceVersion, {}}, {1, {}}, 600, 'v')};
}

// An icon file of images of the given sizes (their bytes 'a', 'b', ...).
std::string IconFile(const std::vector<uint32_t>& sizes) {
  std::vector<uint8_t> bytes(6 + 16 * sizes.size(), 0);
  Put(bytes, 2, 1, 2);
  Put(bytes, 4, static_cast<uint32_t>(sizes.size()), 2);
  for (size_t i = 0; i < sizes.size(); ++i) {
    bytes[6 + i * 16] = static_cast<uint8_t>(16 << i);  // width
    Put(bytes, 6 + i * 16 + 6, 32, 2);                 // bits per pixel
    Put(bytes, 6 + i * 16 + 8, sizes[i], 4);
    Put(bytes, 6 + i * 16 + 12, static_cast<uint32_t>(bytes.size()), 4);
    bytes.resize(bytes.size() + sizes[i], static_cast<uint8_t>('a' + i));
  }
  return std::string(bytes.begin(), bytes.end());
}

TEST(SetupBrandingTest, ResourcesAreReplacedAndTheRelocationsMoveWithTheirDirectory) {
  // Larger (the relocations move a page up) and smaller than before.
  for (const size_t iconSize : {size_t{9000}, size_t{40}}) {
    SCOPED_TRACE(iconSize);
    std::vector<uint8_t> image = Image(ToolResources());
    pe::Resources wanted = ToolResources();
    wanted[1].data.assign(iconSize, 'x');
    wanted.push_back(Entry({0, u"CUSTOM"}, {0, u"DATA"}, 5, 'c'));
    ASSERT_EQ(pe::ReplaceResources(image, wanted), "");

    const auto read = pe::ReadResources(image);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->size(), wanted.size());
    for (const pe::Resource& resource : wanted) {
      const auto found = std::find_if(read->begin(), read->end(), [&](const pe::Resource& r) {
        return r.type == resource.type && r.name == resource.name && r.data == resource.data;
      });
      EXPECT_NE(found, read->end());
    }
    // The relocations lie where their section header and directory say.
    const size_t reloc = kSections + 2 * 40;
    const uint32_t rva = Get(image, reloc + 12), pointer = Get(image, reloc + 20);
    EXPECT_EQ(Get(image, kDirectories + 5 * 8), rva);
    EXPECT_EQ(rva % 0x1000, 0u);
    EXPECT_GE(rva, 0x2000 + Get(image, kSections + 40 + 8));
    EXPECT_EQ(image[pointer], kRelocationByte);
    EXPECT_EQ(image.size(), pointer + 0x200);
    EXPECT_EQ(Get(image, kOptional + 56), rva + 0x1000);  // SizeOfImage
    compression::MemoryStream stream(image);
    const auto headers = pe::ReadImageHeaders(stream, stream.Size());
    EXPECT_EQ(Get(image, kOptional + 64), pe::UnsignedImageChecksum(stream, stream.Size(), *headers));
  }
}

TEST(SetupBrandingTest, ImagesWhoseResourcesCannotBeRewrittenAreLeftAlone) {
  struct Case {
    const char* what;
    std::vector<uint8_t> image;
  };
  std::vector<Case> cases{{"not a program", {'M', 'Z', 0, 0}},
                          {"code after the resources", Image(ToolResources(), ".text2")},
                          {"appended data", Image(ToolResources())},
                          {"signed", Image(ToolResources())}};
  cases[2].image.push_back(0);
  Put(cases[3].image, kDirectories + 4 * 8, 0x1000, 4);
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<uint8_t> before = c.image;
    EXPECT_NE(pe::ReplaceResources(c.image, ToolResources()), "");
    EXPECT_EQ(c.image, before);
  }
}

TEST(SetupBrandingTest, IconFilesBecomeIconsAndOneGroupUnderTheOldName) {
  pe::Resources resources = ToolResources();
  ASSERT_EQ(ReplaceIcon(resources, IconFile({40, 70, 10})), "");
  std::vector<pe::Resource> icons, groups;
  for (const pe::Resource& r : resources) {
    if (r.type.id == pe::kResourceIcon) icons.push_back(r);
    if (r.type.id == pe::kResourceGroupIcon) groups.push_back(r);
  }
  ASSERT_EQ(icons.size(), 3u);
  EXPECT_EQ(icons[1].name.id, 2);
  EXPECT_EQ(icons[1].data, std::vector<uint8_t>(70, 'b'));
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].name.text, u"MAINICON");
  ASSERT_EQ(groups[0].data.size(), 6u + 3 * 14);
  EXPECT_EQ(groups[0].data[6 + 14], 32);                   // width of the second image
  EXPECT_EQ(groups[0].data[6 + 2 * 14 + 12], 3);           // its resource number
  EXPECT_EQ(Get(groups[0].data, 6 + 2 * 14 + 8), 10u);      // its size

  const struct {
    std::string bytes;
    const char* why;
  } bad[] = {{"", "not an icon file"},
             {IconFile({}), "holds no image"},
             {IconFile({40}).substr(0, 15), "cut short"},
             {IconFile({40, 70}).substr(0, 100), "image 2 lies outside the file"},
             {std::string("\0\0\2\0\1\0", 6) + IconFile({40}).substr(6), "not an icon file"}};  // a cursor
  for (const auto& c : bad) {
    pe::Resources unchanged = ToolResources();
    EXPECT_NE(ReplaceIcon(unchanged, c.bytes).find(c.why), std::string::npos) << c.why;
    EXPECT_EQ(unchanged.size(), ToolResources().size());
  }
}

TEST(SetupBrandingTest, VersionsAndTheirNumbers) {
  using V = std::array<uint16_t, 4>;
  EXPECT_EQ(NumericVersion("1.2"), (V{1, 2, 0, 0}));
  EXPECT_EQ(NumericVersion("10.0.19041.65535"), (V{10, 0, 19041, 65535}));
  for (const char* text : {"", "1.2 beta", "1..2", "1.2.3.4.5", "65536", "-1", "1.2."}) {
    EXPECT_FALSE(NumericVersion(text)) << text;
  }
  const std::vector<uint8_t> info =
      VersionResource({"Notes", "2.5.1", "Müller", "", "notes-setup.exe", ""});
  EXPECT_EQ(info[0] | info[1] << 8, static_cast<int>(info.size()));
  const size_t fixed = 40;  // after the header and "VS_VERSION_INFO", aligned
  EXPECT_EQ(Get(info, fixed), 0xFEEF04BDu);
  EXPECT_EQ(Get(info, fixed + 8), 0x00020005u);  // 2.5
  EXPECT_EQ(Get(info, fixed + 12), 0x00010000u);  // .1.0
  const auto holds = [&](const std::u16string& text) {
    const auto* begin = reinterpret_cast<const uint8_t*>(text.data());
    return std::search(info.begin(), info.end(), begin, begin + text.size() * 2) != info.end();
  };
  EXPECT_TRUE(holds(u"Notes Setup"));
  EXPECT_TRUE(holds(u"M\u00FCller"));
  EXPECT_FALSE(holds(u"LegalCopyright"));  // empty values are left out
}

class BrandedBuildTest : public InstallerTest {
 protected:
  void Build(const std::string& script) {
    dir.Write("project/files/install.dat", script);
    dir.Write("project/files/install_dir/app.ico", IconFile({64}));
    const std::vector<uint8_t> image = Image(ToolResources());
    stub = dir.Write("stub.exe", std::string(image.begin(), image.end()));
    auto builder = std::make_shared<VelInstaller>(window, toolkit);
    toolkit.ShowForm(window);
    builder->Build(package, dir.dir() + "project", "zlibfastest", stub, 0);
    failure = builder->Failure();
  }
  std::string stub, package = dir.dir() + "setup.exe";
  sys::Failure failure;
};

TEST_F(BrandedBuildTest, TheStoredStubCarriesTheProgramIconAndTheScriptsVersion) {
  Build("#variables\r\nDisplayName=Notes\r\nProgramIcon=app.ico\r\nVersion=3.1\r\n");
  ASSERT_FALSE(failure.failed()) << failure.message;
  // The package begins with the stored stub.
  const std::string bytes = ReadFile(package);
  const auto resources = pe::ReadResources(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  ASSERT_TRUE(resources);
  const auto icon = std::find_if(resources->begin(), resources->end(),
                                 [](const pe::Resource& r) { return r.type.id == pe::kResourceIcon; });
  ASSERT_NE(icon, resources->end());
  EXPECT_EQ(icon->data, std::vector<uint8_t>(64, 'a'));
  EXPECT_EQ(std::count_if(resources->begin(), resources->end(),
                          [](const pe::Resource& r) { return r.type.id == pe::kResourceManifest; }),
            1);
}

TEST_F(BrandedBuildTest, ABadSetupIconIsRefusedByName) {
  dir.Write("project/broken.ico", "not an icon");
  Build("#variables\r\nDisplayName=Notes\r\nSetupIcon=broken.ico\r\n");
  EXPECT_EQ(failure.kind, sys::FailureKind::BadProject);
  EXPECT_NE(failure.message.find("broken.ico"), std::string::npos) << failure.message;
  EXPECT_FALSE(std::filesystem::exists(package));
}

}  // namespace
}  // namespace installer::testing
