#include "system/settings.h"

#include "system/text.h"

namespace sys {
namespace {

// The name part of a line, or nullopt-like false when the line has no "=".
bool LineName(std::string_view line, std::string_view& name) {
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  name = line.substr(0, eq);
  return true;
}

// The line found by name, else by the non-empty alternative name; -1.
int FindWithAlternative(const StringList& list, std::string_view name,
                        std::string_view alternativeName) {
  int index = FindSetting(list, name);
  if (index < 0 && !alternativeName.empty()) index = FindSetting(list, alternativeName);
  return index;
}

}  // namespace

int FindSetting(const StringList& list, std::string_view name) {
  for (size_t i = 0; i < list.size(); ++i) {
    std::string_view lineName;
    if (LineName(list[i], lineName) && SameTextAscii(lineName, name)) return static_cast<int>(i);
  }
  return -1;
}

std::string GetSettingValue(std::string_view name, const StringList& list,
                            std::string_view alternativeName) {
  int index = FindWithAlternative(list, name, alternativeName);
  if (index < 0) return {};
  const std::string& line = list[index];
  return line.substr(line.find('=') + 1);
}

bool SetSettingValue(std::string_view name, std::string_view value, StringList& list,
                     bool addIfMissing, std::string_view alternativeName) {
  int index = FindWithAlternative(list, name, alternativeName);
  if (index < 0) {
    if (addIfMissing) list.push_back(std::string(name) + "=" + std::string(value));
    return false;
  }
  if (value.empty()) {
    list.erase(list.begin() + index);
  } else {
    std::string& line = list[index];
    line = line.substr(0, line.find('=') + 1) + std::string(value);
  }
  return true;
}

bool HasSetting(std::string_view name, const StringList& list) {
  return FindSetting(list, name) >= 0;
}

bool IsTrueValue(std::string_view value) { return LowerAscii(value) == "true"; }

bool GetSettingBool(std::string_view name, const StringList& list,
                    std::string_view alternativeName) {
  return IsTrueValue(GetSettingValue(name, list, alternativeName));
}

bool AssignSettingLine(std::string_view line, StringList& list) {
  StringList items;
  SplitDelimited(line, "=", items);
  if (items.size() < 2) return false;
  return SetSettingValue(items[0], items[1], list, true);
}

void SplitDelimited(std::string_view text, std::string_view separators, StringList& list) {
  size_t position = 0;
  while (position < text.size()) {
    size_t end = separators.empty() ? std::string_view::npos
                                    : text.find_first_of(separators, position);
    if (end == std::string_view::npos) end = text.size();
    list.emplace_back(text.substr(position, end - position));
    // Resuming after the separator: a separator in the last position thus
    // ends the scan without an empty last item.
    position = end + 1;
  }
}

StringList SplitOnBar(std::string_view text) {
  StringList items;
  SplitDelimited(text, "|", items);
  return items;
}

std::string JoinDelimited(const StringList& list, std::string_view separators, int first,
                          int last) {
  const int count = static_cast<int>(list.size());
  if (last < 0 || last >= count) last = count - 1;
  if (first < 0 || first > last) return {};
  std::string result;
  for (int i = first; i <= last; ++i) {
    result += list[i];
    if (i < last && !separators.empty())
      result += separators[static_cast<size_t>(i) % separators.size()];
  }
  return result;
}

void SplitListValue(std::string_view value, StringList& list, std::string_view defaultSeparators) {
  list.clear();
  if (value.substr(0, 5) == "_list") {
    if (value.size() <= 5) return;
    SplitDelimited(value, value.substr(5, 1), list);
    list.erase(list.begin());
  } else {
    SplitDelimited(value, defaultSeparators, list);
  }
}

namespace {

// Replaces every occurrence of `pattern` (without letter case) in `text`,
// in one pass over it. False, with `text` unchanged, when the result would
// be longer than `limit` bytes.
bool ReplaceAllAscii(std::string& text, std::string_view pattern, std::string_view replacement, size_t limit) {
  size_t position = FindAscii(text, pattern);
  if (position == std::string::npos) return true;
  std::string result;
  size_t copied = 0;
  while (position != std::string::npos) {
    result.append(text, copied, position - copied);
    result.append(replacement);
    copied = position + pattern.size();
    if (result.size() + (text.size() - copied) > limit) return false;
    position = FindAscii(text, pattern, copied);
  }
  result.append(text, copied);
  text = std::move(result);
  return true;
}

}  // namespace

std::string ExpandVariables(const StringList& variables, std::string_view text,
                            std::string_view open, std::string_view close) {
  std::string result(text);
  if (open.empty() || result.find(open) == std::string::npos) return result;
  const size_t limit = text.size() + kMaxExpansionGrowth;
  for (const std::string& line : variables) {
    std::string_view name;
    if (!LineName(line, name)) continue;
    std::string reference = std::string(open) + std::string(name) + std::string(close);
    if (!ReplaceAllAscii(result, reference, std::string_view(line).substr(name.size() + 1), limit)) break;
  }
  return result;
}

int SplitRecord(std::string_view record, RecordFields& fields, int first,
                const StringList* variables) {
  StringList items;
  SplitDelimited(record, "|", items);
  const int count = static_cast<int>(items.size());
  for (size_t k = 0; k < fields.size(); ++k) {
    fields[k].clear();
    int index = first + static_cast<int>(k);
    if (index < 0 || index >= count) continue;
    fields[k] = variables ? ExpandVariables(*variables, items[index]) : items[index];
  }
  return count - first;
}

void RemoveListedEntries(const StringList& reference, StringList& target, bool caseSensitive) {
  auto listed = [&](const std::string& entry) {
    for (const std::string& candidate : reference)
      if (caseSensitive ? candidate == entry : SameTextAscii(candidate, entry)) return true;
    return false;
  };
  std::erase_if(target, listed);
}

void RemoveEntriesInString(std::string_view names, StringList& target, bool caseSensitive) {
  StringList reference;
  SplitDelimited(names, "|", reference);
  RemoveListedEntries(reference, target, caseSensitive);
}

}  // namespace sys
