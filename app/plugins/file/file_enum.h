// Directory listings for script: the names a find pattern matches, as a
// native array of the page, and a walk on a worker thread that reports every
// entry to a script function.
#pragma once

#include <exdisp.h>

#include <string>
#include <vector>

#include "sdk/com.h"

namespace omb {

// The names (without folder) that pattern finds, in the platform's order,
// without "." and ".."; false when the listing cannot be opened.
bool FindNames(const wchar_t* pattern, std::vector<std::wstring>* names);

// A new native array of the page shown in browser (the page's "Array"
// constructed through its script object), holding strings. May throw
// bad_alloc.
HRESULT NewPageArray(IWebBrowser2* browser, const std::vector<std::wstring>& items,
                     IDispatch** array);

// Starts the walk of the options' "path" (with "filter" and "recursive") on a
// worker: callback(fullPath, attributes, size) for each entry, where an answer
// of false stops the walk, then completed() in any case (at once, on this
// thread, when no worker can start). owner is held until the worker ends.
HRESULT StartWalkJob(IDispatch* options, IUnknown* owner) noexcept;

}  // namespace omb
