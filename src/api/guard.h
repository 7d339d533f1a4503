// Keeps C++ exceptions inside the library: an export runs its body through guarded() and
// answers `fallback` if anything is thrown (the only thing the body can throw is bad_alloc).
#pragma once

#include <utility>

namespace quorvel::api {

template <class Result, class Body>
Result guarded(Result fallback, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return fallback;
    }
}

template <class Body>
void guarded_void(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
    } catch (...) {
    }
}

}  // namespace quorvel::api
