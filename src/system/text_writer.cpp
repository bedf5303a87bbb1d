#include "system/text_writer.h"

#include "system/platform.h"

namespace sys {

void FileWriter::Write(std::string_view text) {
  if (text.empty() || platform::WriteConsoleText(file_, text)) return;
  std::fwrite(text.data(), 1, text.size(), file_);
}

bool FileWriter::Flush() { return std::fflush(file_) == 0 && !std::ferror(file_); }

}  // namespace sys
