#pragma once

// libav's own messages (a line for every damaged DV frame, for instance) go through the logger
// under "codec" and are dropped when that category is off.

namespace talvence::log {

// Sets libav's log level and callback; only the first call does anything. Called at start-up by
// the programs and when a filter graph is made, so tests and tools that build graphs are quiet
// too. Any thread.
void InitLibavLogging();

} // namespace talvence::log
