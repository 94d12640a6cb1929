#include "platform/log/LibavLog.h"

#include "platform/log/Log.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdarg>
#include <mutex>
#include <string>

namespace talvence::log {

namespace {

// Called on codec threads with a printf format. A message may be part of a line, finished by a
// later call on the same thread, so each thread keeps its own unfinished line.
void RouteLibavMessage(void* context, int level, const char* format, va_list args) {
    if (level > AV_LOG_INFO || !Enabled(Category::Codec)) return;
    thread_local std::string pending;
    thread_local int printPrefix = 1;
    char part[1024];
    const int length =
        av_log_format_line2(context, level, format, args, part, sizeof part, &printPrefix);
    if (length < 0) return;
    pending += part;
    constexpr std::size_t kLongest = 4096; // a line that never ends is cut here
    if (pending.empty() || (pending.back() != '\n' && pending.size() < kLongest)) return;
    Write(Category::Codec, pending);
    pending.clear();
}

} // namespace

void InitLibavLogging() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Our callback filters by category; libav's level only spares it work when off.
        av_log_set_level(Enabled(Category::Codec) ? AV_LOG_INFO : AV_LOG_QUIET);
        av_log_set_callback(RouteLibavMessage);
    });
}

} // namespace talvence::log
