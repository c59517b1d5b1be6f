#include "app/core/subclass.h"

#include <algorithm>
#include <new>
#include <vector>

namespace omb {
namespace {

// One hook. A removed hook stays linked until no message is being handled,
// so a position saved by a nested message never points at freed memory.
struct Link {
  SubclassProc proc;
  UINT_PTR id;
  DWORD_PTR data;
  bool removed;
  Link* older;
};

struct Chain {
  HWND window;
  WNDPROC original;       // the procedure the window had before the chain
  Link* newest = nullptr;
  Link* next = nullptr;   // the hook DefSubclass calls next
  int running = 0;        // messages being handled, nested ones included
  bool removals = false;  // removed hooks wait to be freed
  bool destroyed = false; // the window had its final message
};

// The chains of this thread's windows: a handful, searched in order.
thread_local std::vector<Chain*> t_chains;

Chain* FindChain(HWND window) noexcept {
  for (Chain* chain : t_chains)
    if (chain->window == window) return chain;
  return nullptr;
}

LRESULT CALLBACK ChainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

void FreeRemoved(Chain* chain) noexcept {
  for (Link** at = &chain->newest; *at;) {
    Link* link = *at;
    if (link->removed) {
      *at = link->older;
      delete link;
    } else {
      at = &link->older;
    }
  }
  chain->removals = false;
}

// Frees removed hooks once no message is being handled; without hooks the
// window gets its earlier procedure back and the chain goes. A procedure set
// on top of the chain's later still calls the chain's, which then keeps
// forwarding to the earlier one - until the window's final message, after
// which the chain goes in any case (its handle may be given to a new window).
void Tidy(Chain* chain) noexcept {
  if (chain->running > 0 || !chain->removals) return;
  FreeRemoved(chain);
  if (chain->newest) return;
  const bool ours =
      reinterpret_cast<WNDPROC>(GetWindowLongPtrW(chain->window, GWLP_WNDPROC)) == ChainProc;
  if (!ours && !chain->destroyed) return;
  if (ours) SetWindowLongPtrW(chain->window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(chain->original));
  t_chains.erase(std::find(t_chains.begin(), t_chains.end(), chain));
  delete chain;
}

LRESULT CALLBACK ChainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  Chain* chain = FindChain(window);
  if (!chain) return DefWindowProcW(window, message, wParam, lParam);
  Link* const saved = chain->next;
  chain->next = chain->newest;
  ++chain->running;
  const LRESULT answer = DefSubclass(window, message, wParam, lParam);
  --chain->running;
  chain->next = saved;
  if (message == WM_NCDESTROY) {
    // The window's last message: the hooks still present have seen it.
    for (Link* link = chain->newest; link; link = link->older) link->removed = true;
    chain->removals = true;
    chain->destroyed = true;
  }
  Tidy(chain);
  return answer;
}

}  // namespace

bool SetSubclass(HWND window, SubclassProc proc, UINT_PTR id, DWORD_PTR data) noexcept {
  if (!window || !proc || GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId())
    return false;
  Chain* chain = FindChain(window);
  if (chain) {
    for (Link* link = chain->newest; link; link = link->older) {
      if (!link->removed && link->proc == proc && link->id == id) {
        link->data = data;
        return true;
      }
    }
  }
  Link* link = new (std::nothrow) Link{proc, id, data, false, nullptr};
  if (!link) return false;
  if (!chain) {
    chain = new (std::nothrow) Chain{window, nullptr};
    bool listed = false;
    if (chain) {
      try {
        t_chains.push_back(chain);
        listed = true;
      } catch (const std::bad_alloc&) {
      }
    }
    if (listed) {
      SetLastError(ERROR_SUCCESS);
      const LONG_PTR previous =
          SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ChainProc));
      if (previous || GetLastError() == ERROR_SUCCESS) {
        chain->original = reinterpret_cast<WNDPROC>(previous);
      } else {
        t_chains.pop_back();
        listed = false;
      }
    }
    if (!listed) {
      delete chain;
      delete link;
      return false;
    }
  }
  link->older = chain->newest;
  chain->newest = link;
  return true;
}

bool RemoveSubclass(HWND window, SubclassProc proc, UINT_PTR id) noexcept {
  Chain* chain = FindChain(window);
  if (!chain) return false;
  for (Link* link = chain->newest; link; link = link->older) {
    if (!link->removed && link->proc == proc && link->id == id) {
      link->removed = true;
      chain->removals = true;
      Tidy(chain);
      return true;
    }
  }
  return false;
}

LRESULT DefSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  Chain* chain = FindChain(window);
  if (!chain) return DefWindowProcW(window, message, wParam, lParam);
  Link* link = chain->next;
  while (link && link->removed) link = link->older;
  if (!link) return CallWindowProcW(chain->original, window, message, wParam, lParam);
  chain->next = link->older;
  return link->proc(window, message, wParam, lParam, link->id, link->data);
}

}  // namespace omb
