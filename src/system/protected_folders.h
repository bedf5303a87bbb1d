// Folders that must never be deleted wholesale: what an uninstall removes
// comes from a log on disk, and a damaged or hand-edited log must not be
// able to wipe a drive, a user's profile or a system folder.
#pragma once

#include <string>

namespace sys {

// True when deleting `folder` with everything below it would reach beyond
// one program's own files, that is when the folder
//  - is not an absolute path (a relative one depends on the current folder),
//  - is a root ("/", "C:\", "\\server\share"),
//  - is, or lies above, the user's home (profile) folder, its common
//    sub-folders (Documents, Downloads, .config, .local/share, ... and the
//    XDG folders named in the environment), the folder of any folder
//    keyword (desktop, documents, programs, windows, temp, ...), or a
//    common parent of installed programs (Program Files, Program Files
//    (x86), ProgramData; /opt, /usr, /usr/local, /srv, /var, /etc, also
//    below BREVION_ROOT).
// Paths are compared after "." and ".." are resolved, with "\" and "/"
// alike and without ASCII letter case; folders reached through symbolic
// links in their parent path are compared by their real location too.
bool IsProtectedFolder(const std::string& folder);

}  // namespace sys
