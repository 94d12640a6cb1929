#pragma once
// Bounded waits for tests that drive streaming threads: a blocked call or a condition that never
// comes fails the test instead of hanging the suite.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <thread>

namespace talvence::testing {

// Runs f on another thread; a call that does not return in time fails the test and ends the
// process, since the blocked thread could never be joined.
template <class F> auto CallWithin(F f, std::chrono::seconds limit = std::chrono::seconds(5)) {
    using Result = decltype(f());
    auto task = std::make_shared<std::packaged_task<Result()>>(f);
    auto result = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    if (result.wait_for(limit) != std::future_status::ready) {
        ADD_FAILURE() << "call did not return: blocked";
        std::fflush(nullptr);
        std::_Exit(1);
    }
    return result.get();
}

// Polls a condition that no event announces; false when the time runs out.
template <class P> bool WaitUntil(P done, std::chrono::seconds limit = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace talvence::testing
