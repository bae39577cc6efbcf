// Run-time borrow checking of one object's store.
#pragma once

#include <Python.h>

#include <atomic>
#include <cstddef>
#include <limits>

namespace tarnwick::python {

// 0: free; n: n shared borrows; all bits set: one exclusive borrow. A
// conflicting borrow is refused at once, never waited for: conflicts come
// only from Python code re-entering the object while a method is inside it
// (a date-like's property, datetime.date, numpy.array), and waiting there
// would deadlock the thread that holds the interpreter lock.
using BorrowState = std::atomic<std::size_t>;

inline constexpr std::size_t exclusive_borrow = std::numeric_limits<std::size_t>::max();

// A shared borrow for the length of a query. If refused, the guard holds
// nothing and RuntimeError "Already mutably borrowed" is set.
class SharedBorrow {
public:
    explicit SharedBorrow(BorrowState& state) noexcept {
        std::size_t seen = state.load(std::memory_order_relaxed);
        do {
            // The count stops one short of the exclusive value.
            if (seen >= exclusive_borrow - 1) {
                PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
                return;
            }
        } while (!state.compare_exchange_weak(seen, seen + 1, std::memory_order_acquire, std::memory_order_relaxed));
        state_ = &state;
    }
    SharedBorrow(const SharedBorrow&) = delete;
    SharedBorrow& operator=(const SharedBorrow&) = delete;
    ~SharedBorrow() {
        if (state_) state_->fetch_sub(1, std::memory_order_release);
    }

    [[nodiscard]] bool held() const noexcept { return state_ != nullptr; }

private:
    BorrowState* state_ = nullptr;
};

// An exclusive borrow for the length of a merge. If refused, the guard
// holds nothing and RuntimeError "Already borrowed" is set.
class ExclusiveBorrow {
public:
    explicit ExclusiveBorrow(BorrowState& state) noexcept {
        std::size_t expected = 0;
        if (state.compare_exchange_strong(expected, exclusive_borrow, std::memory_order_acquire,
                                          std::memory_order_relaxed)) {
            state_ = &state;
        } else {
            PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
        }
    }
    ExclusiveBorrow(const ExclusiveBorrow&) = delete;
    ExclusiveBorrow& operator=(const ExclusiveBorrow&) = delete;
    ~ExclusiveBorrow() {
        if (state_) state_->store(0, std::memory_order_release);
    }

    [[nodiscard]] bool held() const noexcept { return state_ != nullptr; }

private:
    BorrowState* state_ = nullptr;
};

}  // namespace tarnwick::python
