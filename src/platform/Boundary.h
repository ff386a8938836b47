// The guard at every place where foreign code enters ours (exports, window
// procedures, callbacks, thread procedures). A C++ exception cannot unwind
// through a foreign frame, so none may leave: the body's failure becomes the
// fallback answer the caller expects.
#pragma once
#include <utility>

namespace zv {

template <typename TResult, typename TBody>
TResult GuardBoundary(TResult fallback, TBody&& body) noexcept {
  try {
    return std::forward<TBody>(body)();
  } catch (...) {
    return fallback;
  }
}

// For bodies without an answer: a failure is dropped.
template <typename TBody>
void GuardBoundary(TBody&& body) noexcept {
  try {
    std::forward<TBody>(body)();
  } catch (...) {
  }
}

}  // namespace zv
