// The guard at every place where foreign code enters ours (exports, window
// procedures, callbacks, thread procedures). A C++ exception cannot unwind
// through a foreign frame, so none may leave: the body's failure becomes the
// fallback answer the caller expects.
#pragma once
#include <utility>

namespace zv {

// onFailure runs inside the handler, so it can ask what was caught (to
// report it); a failure of its own is dropped.
template <typename TResult, typename TBody, typename TOnFailure>
TResult GuardBoundary(TResult fallback, TBody&& body, TOnFailure&& onFailure) noexcept {
  try {
    return std::forward<TBody>(body)();
  } catch (...) {
    try {
      std::forward<TOnFailure>(onFailure)();
    } catch (...) {
    }
    return fallback;
  }
}

template <typename TResult, typename TBody>
TResult GuardBoundary(TResult fallback, TBody&& body) noexcept {
  return GuardBoundary(std::move(fallback), std::forward<TBody>(body), [] {});
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
