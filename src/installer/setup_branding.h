// The installer's own face in Windows: the icon and version information the
// builder writes into the stub, so that Explorer, the file's properties and
// a signing tool show the publisher's program, not the builder.
//
// An icon file (.ico) is a directory of images:
//
//   ICONDIR        reserved (0), type (1), count (2 bytes each)
//   ICONDIRENTRY   16 bytes per image: width, height, colours, reserved
//                  (1 byte each), planes, bits per pixel (2 each), size,
//                  file offset of the image (4 each)
//
// In a program every image is an icon resource of its own, and a group
// icon resource lists them: the same directory with 14-byte entries whose
// last field is the image's resource number instead of its file offset.
//
// The version information is one tree of nodes (length, value length,
// type, UTF-16 key, value, children; each on a 4-byte boundary): the fixed
// numeric part, one string table in US English / UTF-16 ("040904B0"), and
// the translation that names it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/pe_resources.h"
#include "system/failure.h"

namespace installer {

struct SetupBranding {
  std::string displayName;       // FileDescription "<name> Setup", ProductName
  std::string version;           // ProductVersion, FileVersion; numeric when dotted numbers
  std::string publisher;         // CompanyName
  std::string copyright;         // LegalCopyright
  std::string originalFilename;  // the installer's file name
  std::string iconFile;          // an .ico file; "" keeps the stub's own icon
};

// The version as four 16-bit numbers (missing ones 0) when it is one to
// four dotted whole numbers each below 65536; nullopt otherwise.
std::optional<std::array<uint16_t, 4>> NumericVersion(const std::string& version);

// The version information resource's bytes; empty strings are left out.
std::vector<uint8_t> VersionResource(const SetupBranding& branding);

// Replaces in `resources` every icon and icon group by the images of the
// icon file `icoBytes`, grouped under the name of the first group there was
// (number 1 when there was none). "" on success, else what is wrong with
// the file.
std::string ReplaceIcon(archive::pe::Resources& resources, const std::string& icoBytes);

// The stub `stubPath` with the branding written into its resources: nullopt
// when the stub is no Windows program (nothing to brand). A signed stub
// loses its signature first. `failure` names the icon file or the stub
// when either cannot be used.
std::optional<std::string> BrandedStub(const std::string& stubPath, const SetupBranding& branding,
                                       sys::Failure& failure);

}  // namespace installer
