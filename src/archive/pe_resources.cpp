#include "archive/pe_resources.h"

#include <algorithm>
#include <cstring>

#include "archive/pe_image.h"
#include "compression/stream.h"

namespace archive::pe {

namespace {

constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kDirectorySize = 16;
constexpr size_t kEntrySize = 8;
constexpr size_t kDataEntrySize = 16;
constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint32_t kResourceDirectory = 2;
constexpr int kTreeDepth = 3;  // type, name, language

// Little-endian reads that fail softly: out of range gives 0 and clears ok.
struct Reader {
  const std::vector<uint8_t>& bytes;
  bool ok = true;

  uint32_t Get(size_t offset, int count) {
    if (offset > bytes.size() || bytes.size() - offset < static_cast<size_t>(count)) {
      ok = false;
      return 0;
    }
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[offset + i];
    return value;
  }
  uint32_t U16(size_t offset) { return Get(offset, 2); }
  uint32_t U32(size_t offset) { return Get(offset, 4); }
};

void Put(std::vector<uint8_t>& bytes, size_t offset, uint32_t value, int count) {
  for (int i = 0; i < count; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t AlignUp(uint32_t value, uint32_t alignment) {
  return alignment ? (value + alignment - 1) / alignment * alignment : value;
}

struct Section {
  size_t header = 0;  // file offset of its section header
  std::string name;
  uint32_t virtualSize = 0;
  uint32_t virtualAddress = 0;
  uint32_t rawSize = 0;
  uint32_t rawPointer = 0;

  uint32_t LoadedSize() const { return virtualSize ? virtualSize : rawSize; }
};

// Where the fields a resource rewrite touches lie in an image.
struct Layout {
  size_t optional = 0;     // file offset of the optional header
  size_t directories = 0;  // file offset of data directory 0
  uint32_t directoryCount = 0;
  uint32_t sectionAlignment = 0;
  uint32_t fileAlignment = 0;
  bool hasSymbols = false;
  std::vector<Section> sections;

  size_t Directory(uint32_t index) const { return directories + index * kDirectoryEntrySize; }
};

std::optional<Layout> ReadLayout(const std::vector<uint8_t>& image) {
  Reader in{image};
  if (in.U16(0) != kDosMagic) return std::nullopt;
  const size_t signature = in.U32(kNewHeaderPointer);
  if (in.U32(signature) != kPeSignature || !in.ok) return std::nullopt;
  const size_t coff = signature + kCoffHeaderOffset;
  const uint32_t sectionCount = in.U16(coff + 2);
  const uint32_t optionalSize = in.U16(coff + kCoffOptionalHeaderSize);
  Layout layout;
  layout.hasSymbols = in.U32(coff + 8) != 0 || in.U32(coff + 12) != 0;
  layout.optional = signature + kOptionalHeaderOffset;
  const uint32_t magic = in.U16(layout.optional);
  if (!in.ok || (magic != kMagicPe32 && magic != kMagicPe32Plus)) return std::nullopt;
  const bool plus = magic == kMagicPe32Plus;
  layout.sectionAlignment = in.U32(layout.optional + 32);
  layout.fileAlignment = in.U32(layout.optional + 36);
  layout.directories = layout.optional + (plus ? kDirectoriesOffsetPe32Plus : kDirectoriesOffsetPe32);
  layout.directoryCount = in.U32(layout.optional + (plus ? kRvaCountOffsetPe32Plus : kRvaCountOffsetPe32));
  // Only the directories the optional header holds count.
  const size_t held = (layout.optional + optionalSize - std::min(layout.directories, layout.optional + optionalSize)) /
                      kDirectoryEntrySize;
  layout.directoryCount = std::min<uint32_t>(layout.directoryCount, static_cast<uint32_t>(held));
  const size_t table = layout.optional + optionalSize;
  for (uint32_t i = 0; i < sectionCount; ++i) {
    Section section;
    section.header = table + i * kSectionHeaderSize;
    if (section.header + kSectionHeaderSize > image.size()) return std::nullopt;
    const char* name = reinterpret_cast<const char*>(&image[section.header]);
    section.name.assign(name, strnlen(name, 8));
    section.virtualSize = in.U32(section.header + 8);
    section.virtualAddress = in.U32(section.header + 12);
    section.rawSize = in.U32(section.header + 16);
    section.rawPointer = in.U32(section.header + 20);
    layout.sections.push_back(section);
  }
  if (!in.ok) return std::nullopt;
  return layout;
}

// The section whose loaded range holds `rva`; -1 when none does.
int SectionOf(const Layout& layout, uint32_t rva) {
  for (size_t i = 0; i < layout.sections.size(); ++i) {
    const Section& s = layout.sections[i];
    if (rva >= s.virtualAddress && rva - s.virtualAddress < s.LoadedSize()) return static_cast<int>(i);
  }
  return -1;
}

// Walks the resource tree of one section's raw bytes.
class TreeReader {
 public:
  TreeReader(const std::vector<uint8_t>& image, const Layout& layout, const Section& section, size_t tree)
      : in_{image}, layout_(layout), tree_(tree), end_(size_t{section.rawPointer} + section.rawSize) {}

  bool Read(Resources& out) {
    Resource path;
    Walk(0, 0, path, out);
    return in_.ok;
  }

 private:
  void Walk(uint32_t offset, int depth, Resource& path, Resources& out) {
    const size_t directory = tree_ + offset;
    if (directory + kDirectorySize > end_) {
      in_.ok = false;
      return;
    }
    const uint32_t count = in_.U16(directory + 12) + in_.U16(directory + 14);
    for (uint32_t i = 0; i < count && in_.ok; ++i) {
      const size_t entry = directory + kDirectorySize + i * kEntrySize;
      if (entry + kEntrySize > end_) {
        in_.ok = false;
        return;
      }
      const uint32_t nameField = in_.U32(entry);
      const uint32_t target = in_.U32(entry + 4);
      ResourceName name;
      if (nameField & kHighBit) {
        name.text = Text(nameField & ~kHighBit);
      } else {
        name.id = static_cast<uint16_t>(nameField);
      }
      if (depth == 0) path.type = name;
      if (depth == 1) path.name = name;
      const bool subdirectory = (target & kHighBit) != 0;
      // A tree is three levels deep: directories above, data entries below.
      if (subdirectory != (depth + 1 < kTreeDepth)) {
        in_.ok = false;
        return;
      }
      if (subdirectory) {
        Walk(target & ~kHighBit, depth + 1, path, out);
      } else {
        path.language = name.id;
        Data(target, path, out);
      }
    }
  }

  std::u16string Text(uint32_t offset) {
    const size_t at = tree_ + offset;
    const uint32_t length = in_.U16(at);
    std::u16string text;
    if (at + 2 + size_t{length} * 2 > end_) {
      in_.ok = false;
      return text;
    }
    for (uint32_t i = 0; i < length; ++i) text.push_back(static_cast<char16_t>(in_.U16(at + 2 + i * 2)));
    return text;
  }

  void Data(uint32_t offset, Resource& path, Resources& out) {
    const size_t entry = tree_ + offset;
    if (entry + kDataEntrySize > end_) {
      in_.ok = false;
      return;
    }
    const uint32_t rva = in_.U32(entry);
    const uint32_t size = in_.U32(entry + 4);
    path.codePage = in_.U32(entry + 8);
    const int index = SectionOf(layout_, rva);
    if (index < 0) {
      in_.ok = false;
      return;
    }
    const Section& s = layout_.sections[static_cast<size_t>(index)];
    const uint32_t within = rva - s.virtualAddress;
    if (within > s.rawSize || s.rawSize - within < size || size_t{s.rawPointer} + s.rawSize > in_.bytes.size()) {
      in_.ok = false;
      return;
    }
    const auto begin = in_.bytes.begin() + s.rawPointer + within;
    path.data.assign(begin, begin + size);
    out.push_back(path);
  }

  Reader in_;
  const Layout& layout_;
  size_t tree_;
  size_t end_;
};

// Named entries first, in ordinal order of their texts, then numbers.
bool NameLess(const ResourceName& a, const ResourceName& b) {
  if (a.text.empty() != b.text.empty()) return !a.text.empty();
  return a.text.empty() ? a.id < b.id : a.text < b.text;
}

struct NameNode {
  ResourceName name;
  std::vector<const Resource*> languages;
};

struct TypeNode {
  ResourceName type;
  std::vector<NameNode> names;
};

std::vector<TypeNode> BuildTree(const Resources& resources) {
  std::vector<const Resource*> sorted;
  for (const Resource& resource : resources) sorted.push_back(&resource);
  std::stable_sort(sorted.begin(), sorted.end(), [](const Resource* a, const Resource* b) {
    if (!(a->type == b->type)) return NameLess(a->type, b->type);
    if (!(a->name == b->name)) return NameLess(a->name, b->name);
    return a->language < b->language;
  });
  std::vector<TypeNode> types;
  for (const Resource* resource : sorted) {
    if (types.empty() || !(types.back().type == resource->type)) types.push_back({resource->type, {}});
    auto& names = types.back().names;
    if (names.empty() || !(names.back().name == resource->name)) names.push_back({resource->name, {}});
    names.back().languages.push_back(resource);
  }
  return types;
}

}  // namespace

std::optional<Resources> ReadResources(const std::vector<uint8_t>& image) {
  const auto layout = ReadLayout(image);
  if (!layout) return std::nullopt;
  Resources resources;
  if (layout->directoryCount <= kResourceDirectory) return resources;
  Reader in{image};
  const uint32_t rva = in.U32(layout->Directory(kResourceDirectory));
  if (!in.ok) return std::nullopt;
  if (rva == 0) return resources;
  const int index = SectionOf(*layout, rva);
  if (index < 0) return std::nullopt;
  const Section& section = layout->sections[static_cast<size_t>(index)];
  const uint32_t within = rva - section.virtualAddress;
  if (within >= section.rawSize) return std::nullopt;
  TreeReader tree(image, *layout, section, size_t{section.rawPointer} + within);
  if (!tree.Read(resources)) return std::nullopt;
  return resources;
}

std::vector<uint8_t> ResourceSectionBytes(const Resources& resources, uint32_t sectionRva) {
  const std::vector<TypeNode> types = BuildTree(resources);
  // Sizes of the pieces, in the order they are laid out.
  size_t directories = kDirectorySize + types.size() * kEntrySize;
  size_t names = 0;
  for (const TypeNode& type : types) {
    directories += kDirectorySize + type.names.size() * kEntrySize;
    if (!type.type.text.empty()) names += 2 + type.type.text.size() * 2;
    for (const NameNode& name : type.names) {
      directories += kDirectorySize + name.languages.size() * kEntrySize;
      if (!name.name.text.empty()) names += 2 + name.name.text.size() * 2;
    }
  }
  const size_t dataEntries = AlignUp(static_cast<uint32_t>(directories), 8);
  const size_t nameStart = dataEntries + resources.size() * kDataEntrySize;
  size_t dataStart = AlignUp(static_cast<uint32_t>(nameStart + names), 8);
  size_t total = dataStart;
  for (const Resource& resource : resources) total = AlignUp(static_cast<uint32_t>(total + resource.data.size()), 8);
  std::vector<uint8_t> out(total, 0);

  size_t nextDirectory = 0;
  size_t nextDataEntry = dataEntries;
  size_t nextName = nameStart;
  size_t nextData = dataStart;
  const auto directory = [&](size_t named, size_t ids) {
    const size_t at = nextDirectory;
    Put(out, at + 12, static_cast<uint32_t>(named), 2);
    Put(out, at + 14, static_cast<uint32_t>(ids), 2);
    nextDirectory += kDirectorySize + (named + ids) * kEntrySize;
    return at;
  };
  const auto nameField = [&](const ResourceName& name) -> uint32_t {
    if (name.text.empty()) return name.id;
    const size_t at = nextName;
    Put(out, at, static_cast<uint32_t>(name.text.size()), 2);
    for (size_t i = 0; i < name.text.size(); ++i) Put(out, at + 2 + i * 2, name.text[i], 2);
    nextName += 2 + name.text.size() * 2;
    return static_cast<uint32_t>(at) | kHighBit;
  };
  const auto counts = [](const auto& nodes, auto nameOf) {
    size_t named = 0;
    for (const auto& node : nodes) named += !nameOf(node).text.empty();
    return std::pair{named, nodes.size() - named};
  };

  // Directories breadth first: the root, every type, every name.
  const auto [namedTypes, idTypes] = counts(types, [](const TypeNode& t) -> const ResourceName& { return t.type; });
  const size_t root = directory(namedTypes, idTypes);
  std::vector<size_t> typeDirectories;
  for (size_t t = 0; t < types.size(); ++t) {
    const auto [named, ids] =
        counts(types[t].names, [](const NameNode& n) -> const ResourceName& { return n.name; });
    typeDirectories.push_back(directory(named, ids));
    Put(out, root + kDirectorySize + t * kEntrySize, nameField(types[t].type), 4);
    Put(out, root + kDirectorySize + t * kEntrySize + 4, static_cast<uint32_t>(typeDirectories.back()) | kHighBit, 4);
  }
  for (size_t t = 0; t < types.size(); ++t) {
    for (size_t n = 0; n < types[t].names.size(); ++n) {
      const NameNode& name = types[t].names[n];
      const size_t entry = typeDirectories[t] + kDirectorySize + n * kEntrySize;
      const size_t languages = directory(0, name.languages.size());
      Put(out, entry, nameField(name.name), 4);
      Put(out, entry + 4, static_cast<uint32_t>(languages) | kHighBit, 4);
      for (size_t l = 0; l < name.languages.size(); ++l) {
        const Resource& resource = *name.languages[l];
        Put(out, languages + kDirectorySize + l * kEntrySize, resource.language, 4);
        Put(out, languages + kDirectorySize + l * kEntrySize + 4, static_cast<uint32_t>(nextDataEntry), 4);
        Put(out, nextDataEntry, sectionRva + static_cast<uint32_t>(nextData), 4);
        Put(out, nextDataEntry + 4, static_cast<uint32_t>(resource.data.size()), 4);
        Put(out, nextDataEntry + 8, resource.codePage, 4);
        nextDataEntry += kDataEntrySize;
        std::copy(resource.data.begin(), resource.data.end(), out.begin() + static_cast<ptrdiff_t>(nextData));
        nextData = AlignUp(static_cast<uint32_t>(nextData + resource.data.size()), 8);
      }
    }
  }
  return out;
}

std::string ReplaceResources(std::vector<uint8_t>& image, const Resources& resources) {
  const auto layout = ReadLayout(image);
  if (!layout) return "it is not a Windows program";
  if (layout->directoryCount <= kResourceDirectory) return "it has no resource section";
  Reader in{image};
  if (layout->directoryCount > kCertificateDirectory && in.U32(layout->Directory(kCertificateDirectory)) != 0) {
    return "it is signed";
  }
  const int found = SectionOf(*layout, in.U32(layout->Directory(kResourceDirectory)));
  if (found < 0) return "it has no resource section";
  if (layout->hasSymbols) return "it carries a symbol table";
  const size_t resourceIndex = static_cast<size_t>(found);
  const std::vector<Section>& sections = layout->sections;
  uint32_t fileEnd = 0;
  for (const Section& s : sections) fileEnd = std::max(fileEnd, s.rawPointer + s.rawSize);
  if (fileEnd != image.size()) return "data follows its last section";
  for (size_t i = resourceIndex + 1; i < sections.size(); ++i) {
    if (sections[i].name != ".reloc") return "its section " + sections[i].name + " follows the resources";
    if (sections[i].rawPointer < sections[i - 1].rawPointer) return "its sections are out of order";
  }

  const Section& old = sections[resourceIndex];
  const std::vector<uint8_t> tree = ResourceSectionBytes(resources, old.virtualAddress);
  const uint32_t treeSize = static_cast<uint32_t>(tree.size());
  const uint32_t rawSize = AlignUp(treeSize, layout->fileAlignment);
  std::vector<uint8_t> out(image.begin(), image.begin() + old.rawPointer);
  out.insert(out.end(), tree.begin(), tree.end());
  out.resize(size_t{old.rawPointer} + rawSize, 0);
  Put(out, old.header + 8, treeSize, 4);
  Put(out, old.header + 16, rawSize, 4);

  // The sections after the resources move up or down as a block, in the
  // file and in memory, and the directories pointing into them with them.
  uint32_t nextAddress = AlignUp(old.virtualAddress + treeSize, layout->sectionAlignment);
  uint32_t imageEnd = nextAddress;
  std::vector<std::pair<uint32_t, uint32_t>> directories(layout->directoryCount);
  for (uint32_t d = 0; d < layout->directoryCount; ++d) {
    directories[d] = {in.U32(layout->Directory(d)), in.U32(layout->Directory(d) + 4)};
  }
  std::vector<uint32_t> moved(layout->directoryCount, 0);
  for (size_t i = resourceIndex + 1; i < sections.size(); ++i) {
    const Section& s = sections[i];
    Put(out, s.header + 12, nextAddress, 4);
    Put(out, s.header + 20, static_cast<uint32_t>(out.size()), 4);
    for (uint32_t d = 0; d < layout->directoryCount; ++d) {
      const uint32_t rva = directories[d].first;
      if (d != kCertificateDirectory && rva >= s.virtualAddress && rva - s.virtualAddress < s.LoadedSize()) {
        moved[d] = rva - s.virtualAddress + nextAddress;
      }
    }
    out.insert(out.end(), image.begin() + s.rawPointer, image.begin() + s.rawPointer + s.rawSize);
    imageEnd = AlignUp(nextAddress + s.LoadedSize(), layout->sectionAlignment);
    nextAddress = imageEnd;
  }
  for (uint32_t d = 0; d < layout->directoryCount; ++d) {
    if (moved[d]) Put(out, layout->Directory(d), moved[d], 4);
  }
  Put(out, layout->Directory(kResourceDirectory), old.virtualAddress, 4);
  Put(out, layout->Directory(kResourceDirectory) + 4, treeSize, 4);
  Put(out, layout->optional + 56, imageEnd, 4);  // SizeOfImage
  Reader changed{out};
  Put(out, layout->optional + 8, changed.U32(layout->optional + 8) - old.rawSize + rawSize, 4);  // initialized data

  compression::MemoryStream stream(out);
  const auto headers = ReadImageHeaders(stream, stream.Size());
  if (!headers) return "it is not a Windows program";
  Put(out, static_cast<size_t>(headers->checkSumField), UnsignedImageChecksum(stream, stream.Size(), *headers), 4);
  image = std::move(out);
  return {};
}

}  // namespace archive::pe
