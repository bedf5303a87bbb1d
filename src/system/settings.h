// Name=value lists, typed values, delimited strings and '|'-separated records.
//
// A name=value list is an ordered list of text lines, normally "name=value".
// A line's name is the text before its first "=", its value everything after
// that "=". A line without "=" has no name and is never found by name. Names
// are compared without ASCII letter case and the first matching line wins;
// values are kept exactly as written (no trimming, quoting or escapes).
//
// All functions are free functions over caller-owned strings and lists; none
// keeps state between calls, none reports an error (a missing name reads as
// empty or false).
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace sys {

// An ordered list of text lines (duplicates allowed). Used both for
// name=value lists and for plain lists of entries.
using StringList = std::vector<std::string>;

// The line break that stands for "|" in texts written on one script line.
inline constexpr std::string_view kLineBreak = "\r\n";

// ---- Name=value lists ---------------------------------------------------

// Index of the first line whose name equals `name` without letter case, or
// -1. A line without "=" never matches; an empty name matches a line "=x".
int FindSetting(const StringList& list, std::string_view name);

// Value of the first line named `name`; when there is none and
// `alternativeName` is not empty, the value of the first line with that
// name; otherwise "".
std::string GetSettingValue(std::string_view name, const StringList& list,
                            std::string_view alternativeName = {});

// Finds the line as GetSettingValue does (name, then non-empty alternative).
// Found and `value` not empty: the line becomes "<its own name>=value" (a
// line found by the alternative name keeps that name); returns true.
// Found and `value` empty: the line is deleted; returns true.
// Not found: when `addIfMissing`, "name=value" is appended (also with an
// empty value, giving a line ending in "="); returns false either way.
bool SetSettingValue(std::string_view name, std::string_view value, StringList& list,
                     bool addIfMissing, std::string_view alternativeName = {});

// True when a line with that name exists (its value may be empty).
bool HasSetting(std::string_view name, const StringList& list);

// True exactly when `value`, with ASCII letters lowered, is "true".
bool IsTrueValue(std::string_view value);

// GetSettingValue read with IsTrueValue: "TRUE" and "True" are true; "yes",
// "1", " true", "" and a missing name are false.
bool GetSettingBool(std::string_view name, const StringList& list,
                    std::string_view alternativeName = {});

// Splits `line` on "=" (SplitDelimited) and, when it has at least two items,
// calls SetSettingValue(item 1, item 2, list, add-if-missing). A value that
// itself holds "=" is cut there ("a=b=c" sets a to "b"); "a=" has a single
// item and changes nothing. Returns SetSettingValue's result, or false when
// the line has no value part.
bool AssignSettingLine(std::string_view line, StringList& list);

// ---- Delimited strings --------------------------------------------------

// Appends the items of `text` to `list` (which is not cleared). Items are
// separated by any one character of `separators`. An empty text gives no
// item; a trailing separator gives no empty last item ("a|" -> a); a leading
// separator gives an empty first item ("|a" -> "", a); two separators in a
// row give an empty item between them; an empty separator set gives the
// whole text as one item. Items are not trimmed.
void SplitDelimited(std::string_view text, std::string_view separators, StringList& list);

// The items of a "|"-separated text (SplitDelimited on "|").
StringList SplitOnBar(std::string_view text);

// Joins entries first..last (last < 0 or past the end: to the last entry).
// After every joined entry but the last, one separator character is added:
// the character at (entry index mod separators.size()) of `separators`.
// first == last gives that single entry; first > last (an empty list among
// them) gives "". `separators` must not be empty when two or more entries
// are joined (an empty set then joins without separators).
std::string JoinDelimited(const StringList& list, std::string_view separators, int first = 0,
                          int last = -1);

// Clears `list` and fills it with the items of a list value: when the value
// begins with "_list", its sixth character is the only separator and the
// "_list" marker item is dropped ("_list,a,b" -> a, b); otherwise the value
// is split on `defaultSeparators`. "" and "_list" give an empty list.
void SplitListValue(std::string_view value, StringList& list, std::string_view defaultSeparators);

// `text` with its variable references replaced: for each line of
// `variables`, in list order, every occurrence of open + name + close in the
// evolving result is replaced by the line's value, names matched without
// letter case. A value holding a reference is expanded only when the
// referenced variable comes later in the list; references to unknown names
// stay as written. Text without `open` comes back unchanged. Expansion
// stops, leaving the remaining references as written, before the result
// would grow by more than kMaxExpansionGrowth bytes: values that name other
// variables several times could otherwise double the text with every
// variable.
inline constexpr size_t kMaxExpansionGrowth = 1 << 20;
std::string ExpandVariables(const StringList& variables, std::string_view text,
                            std::string_view open = "$", std::string_view close = "$");

// ---- Records --------------------------------------------------------------

// The seven positional fields of a '|'-separated record.
using RecordFields = std::array<std::string, 7>;

// Splits `record` on "|" (SplitDelimited: a trailing "|" adds no field),
// clears all seven outputs and fills output k with field first + k where it
// exists, passed through ExpandVariables("$", "$") when `variables` is not
// null. Fields past the seventh are ignored. Returns the field count minus
// `first` (zero or negative when no field exists at or after `first`).
int SplitRecord(std::string_view record, RecordFields& fields, int first,
                const StringList* variables);

// ---- List utilities -------------------------------------------------------

// Removes from `target` every entry equal to an entry of `reference`
// (exactly, or without ASCII letter case when `caseSensitive` is false).
// The order of the remaining entries is kept.
void RemoveListedEntries(const StringList& reference, StringList& target, bool caseSensitive);

// RemoveListedEntries with the reference given as a '|'-separated string.
void RemoveEntriesInString(std::string_view names, StringList& target, bool caseSensitive);

}  // namespace sys
