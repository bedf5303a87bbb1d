#include "app/elevation.h"

namespace app {

std::vector<std::string> ElevatedArguments(const std::vector<std::string>& positional,
                                           const UnattendedOptions& unattended, const std::string& folder,
                                           bool noDesktopShortcut, bool noStartMenuShortcut) {
  std::vector<std::string> words = positional;
  // The elevated run only carries out what was chosen here: its questions
  // were answered already.
  words.push_back("--silent");
  words.push_back("--scope=machine");
  words.push_back("--dir=" + folder);
  for (const std::string& word : NoShortcutsWords(noDesktopShortcut || unattended.noDesktopShortcut,
                                                  noStartMenuShortcut || unattended.noStartMenuShortcut)) {
    words.push_back(word);
  }
  if (unattended.allowDowngrade) words.push_back("--allow-downgrade");
  if (!unattended.logFile.empty()) words.push_back("--log=" + unattended.logFile);
  return words;
}

std::string WindowsCommandLine(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    if (!line.empty()) line += ' ';
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
      line += argument;
      continue;
    }
    line += '"';
    size_t backslashes = 0;
    for (char c : argument) {
      if (c == '\\') {
        ++backslashes;
        continue;
      }
      // Backslashes count only before a double quote: 2n+1 of them and the
      // quote stand for n and a literal quote.
      line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
      backslashes = 0;
      line += c;
    }
    line.append(backslashes * 2, '\\');  // before the closing quote
    line += '"';
  }
  return line;
}

}  // namespace app
