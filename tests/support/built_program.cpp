#include "support/built_program.h"

#include <cstdlib>
#include <filesystem>

namespace testsupport {

std::string ExampleProject() { return std::string(BREVION_TEST_DATA) + "/../../examples/notes"; }

std::string BuiltProgram() {
  const char* build = std::getenv("BREVION_BUILD_DIR");
  if (!build) return "";
  const std::filesystem::path program = std::filesystem::path(build) / "brevion";
  return std::filesystem::exists(program) ? program.string() : "";
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace testsupport
