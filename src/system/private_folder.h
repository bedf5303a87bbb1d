// Folders of this process's own in a temporary folder that other users may
// share: made under an unpredictable name, for the current user alone, and
// removed completely by their owner.
#pragma once

#include <string>
#include <string_view>

namespace sys {

// Makes a new folder "<parent><prefix><16 random hex digits>" for the
// current user alone (platform::CreatePrivateFolder), trying a fresh name
// when one is taken; a name that exists, whatever it is, is never used.
// Returns its path with a trailing separator, or "" when none could be made
// (the random source failed, or the parent is missing or refuses).
std::string CreateUniqueFolder(const std::string& parent, std::string_view prefix);

// Deletes everything inside `folder`, read-only files and folders included;
// links are removed, never followed. For folders this program made and
// filled itself. The folder itself stays.
void EmptyOwnFolder(const std::string& folder);

// EmptyOwnFolder, then the folder itself (a link in its place is removed,
// not followed).
void RemoveOwnFolder(const std::string& folder);

}  // namespace sys
