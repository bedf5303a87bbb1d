// Icons for the desktop's icon theme, which takes PNG and SVG files only:
// a PNG passes as it is, and an ICO file gives its largest image as a PNG
// (an embedded PNG, or a 24- or 32-bit bitmap converted).
#pragma once

#include <optional>
#include <string>

namespace sys::platform::desktop {

struct ThemeImage {
  int size = 0;       // width and height in pixels
  std::string png;    // the PNG file's bytes
};

// The theme's image for an icon file's `content`; nullopt when it is no
// square PNG and no ICO holding an image that can be converted.
std::optional<ThemeImage> ThemeImageOf(const std::string& content);

}  // namespace sys::platform::desktop
