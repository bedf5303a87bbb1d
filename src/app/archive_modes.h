// The two archive roles of the command line: "archive DEST SRC" packs a
// folder into DEST/NAME.bvarc, any other mode word is an archive to extract.
// Both run with the archive module's own progress and question window.
#pragma once

#include <memory>
#include <string>

#include "archive/archive.h"
#include "archive/indexed_file_form.h"
#include "ui/toolkit.h"

namespace app {

class ArchiveModes {
 public:
  // Creates TDIndexedFile (hidden) on `toolkit`; it becomes the archive
  // module's window.
  void CreateArchiveWindow(ui::Toolkit& toolkit);

  // Packs `folder` (every file and folder, hidden and system ones included,
  // at any depth) into `archiveFile` with the mode "normal", showing
  // "Archiving Files" progress and closing with "Archiving Successful" or
  // "Archiving Aborted". True when the archive was written.
  bool CreateArchive(const std::string& archiveFile, const std::string& folder);

  // Verifies `archiveFile` and extracts all of it into `destination`,
  // asking before overwriting, with "Extracting Files" progress and
  // "Files extracted successfully" / "File Extraction Aborted" at the end.
  bool ExtractArchive(const std::string& archiveFile, const std::string& destination);

  archive::TDIndexedFile* window() { return window_.get(); }

 private:
  std::unique_ptr<archive::TDIndexedFile> window_;
};

}  // namespace app
