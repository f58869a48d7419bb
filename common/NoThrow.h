// The libraries and the session core report failures by result code: their entry points
// run through these, so that no exception (std::bad_alloc from a standard container,
// above all) crosses their interface and ends the caller.
#pragma once

template <class Work, class Result>
Result NoThrow(Work&& work, Result failure) noexcept {
    try {
        return work();
    } catch (...) {
        return failure;
    }
}

template <class Work>
void NoThrowVoid(Work&& work) noexcept {
    try {
        work();
    } catch (...) {
    }
}
