// The resources of a Windows executable (PE image): read as a flat list,
// written back as a new resource section.
//
// The data directory entry 2 gives the RVA of the resource tree, which
// lies in a section of its own (".rsrc"). The tree has three levels (type,
// name, language); every offset in it is relative to the tree's start,
// except the data entries' own, which are RVAs:
//
//   directory     16 bytes: Characteristics, TimeDateStamp (4 each),
//                 MajorVersion, MinorVersion, named count, id count (2 each)
//   entry          8 bytes after its directory, named ones first (sorted),
//                 then ids (ascending): name or id (high bit: offset of a
//                 name), offset (high bit: a subdirectory, else a data entry)
//   name          length in UTF-16 units (2 bytes), then the units
//   data entry    16 bytes: RVA of the data, size, code page, reserved
//
// The section written here holds the directories, then the data entries,
// then the names, then the data, each piece on an 8-byte boundary; no time
// stamp, so the same resources always give the same bytes.
//
// Replacing the section moves what follows it in the image:
//
//   before   headers | .text ... | .rsrc (old size) | .reloc
//   after    headers | .text ... | .rsrc (new size) | .reloc (moved)
//
// Only sections that nothing points into but a data directory (base
// relocations) may follow the resources; their data directory entries,
// SizeOfImage, SizeOfInitializedData and CheckSum are rewritten.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace archive::pe {

inline constexpr uint16_t kResourceIcon = 3;        // RT_ICON
inline constexpr uint16_t kResourceGroupIcon = 14;  // RT_GROUP_ICON
inline constexpr uint16_t kResourceVersion = 16;    // RT_VERSION
inline constexpr uint16_t kResourceManifest = 24;   // RT_MANIFEST
inline constexpr uint16_t kLanguageEnglishUs = 0x409;

// A resource type or name: a number, or a text when `text` is not empty.
struct ResourceName {
  uint16_t id = 0;
  std::u16string text;
  bool operator==(const ResourceName&) const = default;
};

struct Resource {
  ResourceName type;
  ResourceName name;
  uint16_t language = 0;
  uint32_t codePage = 0;
  std::vector<uint8_t> data;
};

using Resources = std::vector<Resource>;

// The resources of `image`; an empty list when it has none. nullopt when
// it is not a PE image or its tree or data lie outside the image.
std::optional<Resources> ReadResources(const std::vector<uint8_t>& image);

// The bytes of a resource section holding `resources` that is loaded at
// `sectionRva`.
std::vector<uint8_t> ResourceSectionBytes(const Resources& resources, uint32_t sectionRva);

// Replaces the resources of the unsigned `image` with `resources` (layout
// above) and sets its CheckSum. Returns "" on success, else why the image
// cannot take them (then `image` is unchanged): not a PE image, no resource
// section, a section other than base relocations after it, or bytes after
// the last section (a symbol table or appended data).
std::string ReplaceResources(std::vector<uint8_t>& image, const Resources& resources);

}  // namespace archive::pe
