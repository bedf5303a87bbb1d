// Helpers for tests that run the built program from a shell.
#pragma once

#include <string>

namespace testsupport {

// The example project of the repository (examples/notes).
std::string ExampleProject();

// The program of the build CTest names in BREVION_BUILD_DIR; "" when the
// variable is unset or the build has no program (the test then skips).
std::string BuiltProgram();

// `text` in single quotes, for a POSIX shell command line.
std::string Quoted(const std::string& text);

}  // namespace testsupport
