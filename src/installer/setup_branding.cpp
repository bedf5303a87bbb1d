#include "installer/setup_branding.h"

#include <algorithm>

#include "archive/pe_image.h"
#include "compression/stream.h"
#include "system/platform.h"

namespace installer {

namespace pe = archive::pe;

namespace {

constexpr size_t kIconDirectorySize = 6;
constexpr size_t kIconEntrySize = 16;
constexpr size_t kGroupEntrySize = 14;
constexpr uint16_t kIconType = 1;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kFixedInfoVersion = 0x00010000;
constexpr uint32_t kFileFlagsMask = 0x3F;
constexpr uint32_t kOsNtWindows32 = 0x00040004;
constexpr uint32_t kFileTypeApplication = 1;
constexpr uint16_t kCodePageUtf16 = 1200;
constexpr const char16_t* kStringTable = u"040904B0";  // US English, UTF-16

void Append(std::vector<uint8_t>& out, uint32_t value, int count) {
  for (int i = 0; i < count; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t Get(const std::string& bytes, size_t offset, int count) {
  uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[offset + i]);
  return value;
}

// UTF-8 as UTF-16; a malformed sequence becomes U+FFFD.
std::u16string Utf16(std::string_view text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<uint8_t>(text[i]);
    const int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    char32_t c = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    bool ok = length > 0 && i + length <= text.size();
    for (int k = 1; ok && k < length; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      ok = (next & 0xC0) == 0x80;
      c = c << 6 | (next & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    ok = ok && c >= kSmallest[length] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
    if (!ok) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += static_cast<size_t>(length);
  }
  return out;
}

// Writes the nodes of a version information tree: each starts on a 4-byte
// boundary and its length, patched when it ends, covers its children.
class VersionWriter {
 public:
  size_t Begin(std::u16string_view key, uint16_t valueLength, uint16_t type) {
    Align();
    const size_t start = out_.size();
    Append(out_, 0, 2);
    Append(out_, valueLength, 2);
    Append(out_, type, 2);
    for (char16_t c : key) Append(out_, c, 2);
    Append(out_, 0, 2);
    Align();
    return start;
  }
  void End(size_t start) {
    const size_t length = out_.size() - start;
    out_[start] = static_cast<uint8_t>(length);
    out_[start + 1] = static_cast<uint8_t>(length >> 8);
  }
  void Text(std::u16string_view key, const std::string& value) {
    if (value.empty()) return;
    const std::u16string text = Utf16(value);
    const size_t node = Begin(key, static_cast<uint16_t>(text.size() + 1), 1);
    for (char16_t c : text) Append(out_, c, 2);
    Append(out_, 0, 2);
    End(node);
  }
  std::vector<uint8_t>& Bytes() { return out_; }

 private:
  void Align() {
    while (out_.size() % 4) out_.push_back(0);
  }
  std::vector<uint8_t> out_;
};

}  // namespace

std::optional<std::array<uint16_t, 4>> NumericVersion(const std::string& version) {
  std::array<uint16_t, 4> parts{};
  size_t part = 0;
  size_t start = 0;
  while (true) {
    const size_t dot = version.find('.', start);
    const std::string piece = version.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (part == parts.size() || piece.empty() || piece.size() > 5 ||
        !std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return std::nullopt;
    }
    const unsigned long value = std::stoul(piece);
    if (value > 0xFFFF) return std::nullopt;
    parts[part++] = static_cast<uint16_t>(value);
    if (dot == std::string::npos) return parts;
    start = dot + 1;
  }
}

std::vector<uint8_t> VersionResource(const SetupBranding& branding) {
  const std::array<uint16_t, 4> number = NumericVersion(branding.version).value_or(std::array<uint16_t, 4>{});
  const uint32_t high = uint32_t{number[0]} << 16 | number[1];
  const uint32_t low = uint32_t{number[2]} << 16 | number[3];
  constexpr uint16_t kFixedInfoSize = 52;
  VersionWriter writer;
  const size_t root = writer.Begin(u"VS_VERSION_INFO", kFixedInfoSize, 0);
  for (uint32_t field : {kFixedInfoSignature, kFixedInfoVersion, high, low, high, low, kFileFlagsMask, 0u,
                         kOsNtWindows32, kFileTypeApplication, 0u, 0u, 0u}) {
    Append(writer.Bytes(), field, 4);
  }
  const size_t strings = writer.Begin(u"StringFileInfo", 0, 1);
  const size_t table = writer.Begin(kStringTable, 0, 1);
  writer.Text(u"CompanyName", branding.publisher);
  writer.Text(u"FileDescription", branding.displayName.empty() ? "Setup" : branding.displayName + " Setup");
  writer.Text(u"FileVersion", branding.version);
  writer.Text(u"LegalCopyright", branding.copyright);
  writer.Text(u"OriginalFilename", branding.originalFilename);
  writer.Text(u"ProductName", branding.displayName);
  writer.Text(u"ProductVersion", branding.version);
  writer.End(table);
  writer.End(strings);
  const size_t variables = writer.Begin(u"VarFileInfo", 0, 1);
  const size_t translation = writer.Begin(u"Translation", 4, 0);
  Append(writer.Bytes(), pe::kLanguageEnglishUs, 2);
  Append(writer.Bytes(), kCodePageUtf16, 2);
  writer.End(translation);
  writer.End(variables);
  writer.End(root);
  return std::move(writer.Bytes());
}

std::string ReplaceIcon(pe::Resources& resources, const std::string& icoBytes) {
  if (icoBytes.size() < kIconDirectorySize || Get(icoBytes, 0, 2) != 0 || Get(icoBytes, 2, 2) != kIconType) {
    return "it is not an icon file";
  }
  const uint32_t count = Get(icoBytes, 4, 2);
  if (count == 0) return "it holds no image";
  if (icoBytes.size() < kIconDirectorySize + count * kIconEntrySize) return "its list of images is cut short";

  pe::ResourceName group{1, {}};
  uint16_t language = pe::kLanguageEnglishUs;
  const auto firstGroup = std::find_if(resources.begin(), resources.end(), [](const pe::Resource& r) {
    return r.type == pe::ResourceName{pe::kResourceGroupIcon, {}};
  });
  if (firstGroup != resources.end()) {
    group = firstGroup->name;
    language = firstGroup->language;
  }
  pe::Resources images;
  std::vector<uint8_t> directory;
  Append(directory, 0, 2);
  Append(directory, kIconType, 2);
  Append(directory, count, 2);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t entry = kIconDirectorySize + i * kIconEntrySize;
    const uint32_t size = Get(icoBytes, entry + 8, 4);
    const uint32_t offset = Get(icoBytes, entry + 12, 4);
    if (size == 0 || offset > icoBytes.size() || icoBytes.size() - offset < size) {
      return "image " + std::to_string(i + 1) + " lies outside the file";
    }
    const auto id = static_cast<uint16_t>(i + 1);
    directory.insert(directory.end(), icoBytes.begin() + static_cast<ptrdiff_t>(entry),
                     icoBytes.begin() + static_cast<ptrdiff_t>(entry + kGroupEntrySize - 2));
    Append(directory, id, 2);
    images.push_back({{pe::kResourceIcon, {}}, {id, {}}, language, 0,
                      std::vector<uint8_t>(icoBytes.begin() + offset, icoBytes.begin() + offset + size)});
  }
  std::erase_if(resources, [](const pe::Resource& r) {
    return r.type.text.empty() && (r.type.id == pe::kResourceIcon || r.type.id == pe::kResourceGroupIcon);
  });
  resources.insert(resources.end(), images.begin(), images.end());
  resources.push_back({{pe::kResourceGroupIcon, {}}, group, language, 0, std::move(directory)});
  return {};
}

std::optional<std::string> BrandedStub(const std::string& stubPath, const SetupBranding& branding,
                                       sys::Failure& failure) {
  const auto fail = [&](sys::FailureKind kind, const std::string& path, const std::string& message) {
    failure = {kind, path, message};
    return std::nullopt;
  };
  const auto bytes = sys::platform::ReadWholeFile(stubPath);
  if (!bytes) return fail(sys::FailureKind::Io, stubPath, "The installer program " + stubPath + " cannot be read.");
  std::vector<uint8_t> image(bytes->begin(), bytes->end());
  compression::MemoryStream stream(image);
  const auto headers = pe::ReadImageHeaders(stream, stream.Size());
  if (!headers) return std::nullopt;
  // A signature of the builder's own would sign nothing once the image
  // changes: the image goes back to its unsigned form.
  if (pe::CertificateTableEndsFile(*headers, stream.Size())) {
    image.resize(static_cast<size_t>(headers->certificateOffset));
    std::fill_n(image.begin() + headers->certificateEntry, pe::kDirectoryEntrySize, 0);
  }
  auto resources = pe::ReadResources(image);
  if (!resources) {
    return fail(sys::FailureKind::Damaged, stubPath,
                "The installer program " + stubPath + " has a damaged resource section.");
  }
  uint16_t language = pe::kLanguageEnglishUs;
  for (const pe::Resource& r : *resources) {
    if (r.type == pe::ResourceName{pe::kResourceVersion, {}}) language = r.language;
  }
  std::erase_if(*resources, [](const pe::Resource& r) { return r.type == pe::ResourceName{pe::kResourceVersion, {}}; });
  resources->push_back({{pe::kResourceVersion, {}}, {1, {}}, language, 0, VersionResource(branding)});
  if (!branding.iconFile.empty()) {
    const auto icon = sys::platform::ReadWholeFile(branding.iconFile);
    if (!icon) {
      return fail(sys::FailureKind::BadProject, branding.iconFile,
                  "The icon file " + branding.iconFile + " cannot be read.");
    }
    const std::string why = ReplaceIcon(*resources, *icon);
    if (!why.empty()) {
      return fail(sys::FailureKind::BadProject, branding.iconFile,
                  "The icon file " + branding.iconFile + " cannot be used: " + why + ".");
    }
  }
  const std::string why = pe::ReplaceResources(image, *resources);
  if (!why.empty()) {
    return fail(sys::FailureKind::Other, stubPath,
                "The installer program " + stubPath + " cannot carry the setup's icon and version: " + why + ".");
  }
  return std::string(image.begin(), image.end());
}

}  // namespace installer
