#pragma once

#include <windows.h>

// Called for every entry the walk reports. Answering E_ABORT stops the whole
// walk at once; any other answer becomes the walk's running result.
using WalkVisit = HRESULT (*)(void* visitData, const wchar_t* fullPath, DWORD attributes,
                              ULONGLONG size);

// Lists folder (a trailing backslash is optional) and hands each entry whose
// full path (folder + "\" + name) the regular expression filter matches to
// visit; with no filter, or one that does not compile (see CRegExp), every
// entry passes. Files are reported with their size, folders with size 0.
// When recursive, each sub-folder's contents are walked, in listing order,
// before the sub-folder itself is reported; folders that are symbolic links or
// junctions are reported but not entered.
//
// Answers the result of the last visit or inner walk, E_ABORT when a visit
// stopped the walk, E_FAIL when nothing was visited, or the last-error result
// when the folder cannot be listed.
[[nodiscard]] HRESULT WalkDirectory(const wchar_t* folder, const wchar_t* filter, bool recursive,
                                    WalkVisit visit, void* visitData) noexcept;

// True for an entry that is a symbolic link or junction to a folder (a
// name-surrogate reparse point): walks and deletions must not enter it, or
// they would reach (and, when deleting, destroy) another tree. Wine shows Unix
// symbolic links as reparse points without a tag, a tag Windows never uses;
// they count as links too. Other reparse points (cloud placeholders, for
// example) are ordinary folders.
bool IsFolderLink(DWORD attributes, DWORD reparseTag) noexcept;
