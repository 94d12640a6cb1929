#pragma once

// Diagnostics by category, switched on by the environment variable TALVENCE_LOG: a comma-separated
// list of category names ("graph,avi,device"), or "all". Silent by default. Each message becomes
// one line on standard error, written with one call, prefixed with the monotonic clock in seconds
// (the kernel's time base, so lines compare with its log), the category and the thread:
//
//     [  5123.401722] graph t4711: Connect Source [Output] -> Sink [Input] refused: ...
//
// Categories:
//   graph    graph building: connections, intelligent connection, recipes
//   engine   the graph's states (run, pause, stop) and events
//   filter   the own filters (inlay, scene detection, DV header, time stamper)
//   avi      the AVI writer
//   device   virtual, ALSA, V4L2 and IEEE 1394 devices
//   codec    FFmpeg, libav's own messages included
//   store    the registry-like store and the preferences kept in it
//   capture  the application's capture control
//
// Writing a message:
//
//     TLOG(Graph) << "Connect " << PinText(out) << " refused: " << HResultText(hr);
//
// A statement for a category that is off costs one relaxed atomic load: its operands are not
// evaluated, so nothing is formatted.
//
// Threads: any thread may log. The variable is read once, on the first check. Lines go out under
// one lock (the sink lock), so lines of two threads never interleave.

#include <atomic>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>

namespace talvence::log {

enum class Category : std::uint8_t { Graph, Engine, Filter, Avi, Device, Codec, Store, Capture };

inline constexpr int kCategoryCount = 8;

// The name used in TALVENCE_LOG and in the line prefix ("graph").
std::string_view CategoryName(Category category);

// A set of categories, one bit each.
using CategorySet = std::uint32_t;

// The categories named in a TALVENCE_LOG text; "all" names every one, unknown names are ignored,
// and so are spaces around names and letter case.
CategorySet ParseCategories(std::string_view text);

namespace detail {
// Set while TALVENCE_LOG has not been read yet.
inline constexpr CategorySet kUnread = 0x80000000u;
extern std::atomic<CategorySet> enabled;
CategorySet ReadVariable() noexcept;
} // namespace detail

// Any thread; cheap.
inline bool Enabled(Category category) noexcept {
    CategorySet set = detail::enabled.load(std::memory_order_relaxed);
    if (set & detail::kUnread) [[unlikely]]
        set = detail::ReadVariable();
    return (set >> static_cast<unsigned>(category)) & 1u;
}

// Writes one line for the category when it is on. Trailing line breaks are dropped and inner ones
// become spaces, so a message is always one line. Any thread.
void Write(Category category, std::string_view message);

// Collects one message and writes it when destroyed; made by TLOG only when the category is on.
class TLine {
public:
    explicit TLine(Category category) : category_(category) {}
    TLine(const TLine&) = delete;
    TLine& operator=(const TLine&) = delete;
    ~TLine() { Write(category_, text_.view()); }

    template <class T> TLine& operator<<(const T& value) {
        text_ << value;
        return *this;
    }

private:
    Category category_;
    std::ostringstream text_;
};

// Receives each finished line, with its prefix and line break; called under the sink lock.
using Sink = std::function<void(std::string_view line)>;

// For tests: replaces the enabled categories and the sink while it lives, and restores both when
// destroyed. One at a time, on the test's thread.
class TLogOverride {
public:
    TLogOverride(std::string_view categories, Sink sink);
    ~TLogOverride();
    TLogOverride(const TLogOverride&) = delete;
    TLogOverride& operator=(const TLogOverride&) = delete;

private:
    CategorySet previousSet_;
    Sink previousSink_;
};

} // namespace talvence::log

// A loop run once or never rather than an if, so that an unbraced if around it has no else to
// mistake for its own.
#define TLOG(category)                                                                             \
    for (bool tlogOn = ::talvence::log::Enabled(::talvence::log::Category::category); tlogOn;      \
         tlogOn = false)                                                                           \
    ::talvence::log::TLine(::talvence::log::Category::category)
