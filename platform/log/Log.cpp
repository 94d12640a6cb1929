#include "platform/log/Log.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <utility>

#include <unistd.h>

namespace talvence::log {

namespace detail {
std::atomic<CategorySet> enabled{kUnread};
} // namespace detail

namespace {

constexpr std::string_view kNames[kCategoryCount] = {"graph",  "engine", "filter", "avi",
                                                     "device", "codec",  "store",  "capture"};
constexpr CategorySet kAll = (1u << kCategoryCount) - 1;

std::mutex& SinkLock() {
    static std::mutex lock;
    return lock;
}

// Guarded by SinkLock(); empty: standard error.
Sink& CurrentSink() {
    static Sink sink;
    return sink;
}

void WriteToStandardError(std::string_view line) {
    while (!line.empty()) {
        const ssize_t n = ::write(STDERR_FILENO, line.data(), line.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return; // nowhere to report a failing standard error
        line.remove_prefix(static_cast<std::size_t>(n));
    }
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// Without the spaces around it.
std::string_view Trimmed(std::string_view s) {
    constexpr std::string_view kSpaces = " \t\n\r";
    const std::size_t first = s.find_first_not_of(kSpaces);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(kSpaces) - first + 1);
}

} // namespace

std::string_view CategoryName(Category category) {
    return kNames[static_cast<unsigned>(category)];
}

CategorySet ParseCategories(std::string_view text) {
    CategorySet set = 0;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view name = Trimmed(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        if (SameIgnoringCase(name, "all")) set = kAll;
        for (int i = 0; i < kCategoryCount; ++i)
            if (SameIgnoringCase(name, kNames[i])) set |= 1u << i;
    }
    return set;
}

CategorySet detail::ReadVariable() noexcept {
    const char* text = std::getenv("TALVENCE_LOG");
    CategorySet expected = kUnread;
    // A test's override that came first wins over the variable.
    enabled.compare_exchange_strong(expected, text ? ParseCategories(text) : 0,
                                    std::memory_order_relaxed);
    return enabled.load(std::memory_order_relaxed);
}

void Write(Category category, std::string_view message) {
    if (!Enabled(category)) return;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.remove_suffix(1);

    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    char prefix[64];
    const int length = std::snprintf(
        prefix, sizeof prefix, "[%6lld.%06ld] %s t%d: ", static_cast<long long>(now.tv_sec),
        now.tv_nsec / 1000, CategoryName(category).data(), static_cast<int>(gettid()));
    std::string line(prefix, static_cast<std::size_t>(std::max(length, 0)));
    line.reserve(line.size() + message.size() + 1);
    for (char c : message)
        line.push_back(c == '\n' || c == '\r' ? ' ' : c);
    line.push_back('\n');

    std::lock_guard lock(SinkLock());
    if (CurrentSink())
        CurrentSink()(line);
    else
        WriteToStandardError(line);
}

TLogOverride::TLogOverride(std::string_view categories, Sink sink) {
    Enabled(Category::Graph); // the variable is read now, so it cannot replace the override later
    previousSet_ = detail::enabled.exchange(ParseCategories(categories));
    std::lock_guard lock(SinkLock());
    previousSink_ = std::exchange(CurrentSink(), std::move(sink));
}

TLogOverride::~TLogOverride() {
    detail::enabled.store(previousSet_);
    std::lock_guard lock(SinkLock());
    CurrentSink() = std::move(previousSink_);
}

} // namespace talvence::log
