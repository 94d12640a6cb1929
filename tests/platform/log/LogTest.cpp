// The category logger: which categories TALVENCE_LOG's text switches on, one line per message,
// nothing (not even the formatting) when a category is off, and libav's messages routed into it.

#include "platform/log/Log.h"
#include "platform/log/LibavLog.h"

extern "C" {
#include <libavutil/log.h>
}

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talvence::log {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;

CategorySet SetOf(std::initializer_list<Category> categories) {
    CategorySet set = 0;
    for (Category c : categories)
        set |= 1u << static_cast<unsigned>(c);
    return set;
}

// Collects what the logger writes while it lives, with the given categories on.
struct Captured {
    explicit Captured(std::string_view categories)
        : override(categories, [this](std::string_view line) { lines.emplace_back(line); }) {}
    std::vector<std::string> lines;
    TLogOverride override;
};

TEST(LogCategories, TheVariablesTextNamesCategoriesOrAllAndIgnoresTheRest) {
    EXPECT_EQ(ParseCategories("graph,avi"), SetOf({Category::Graph, Category::Avi}));
    EXPECT_EQ(ParseCategories(" Device , bogus,,codec"),
              SetOf({Category::Device, Category::Codec}));
    EXPECT_EQ(ParseCategories("store,ALL"),
              SetOf({Category::Graph, Category::Engine, Category::Filter, Category::Avi,
                     Category::Device, Category::Codec, Category::Store, Category::Capture}));
    EXPECT_EQ(ParseCategories(""), 0u);
    EXPECT_EQ(ParseCategories("graphs"), 0u);
}

TEST(LogLines, AMessageIsOneLineWithTimeCategoryAndThread) {
    // Setup
    Captured log("graph");

    // Exercise
    TLOG(Graph) << "refused\nby " << 2 << " pins\n";

    // Verification
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_THAT(log.lines[0], MatchesRegex(R"(\[ *[0-9]+\.[0-9]{6}\] graph t[0-9]+: .*)"));
    EXPECT_THAT(log.lines[0], EndsWith(": refused by 2 pins\n"));
}

TEST(LogLines, ACategoryThatIsOffWritesAndFormatsNothing) {
    // Setup
    Captured log("avi");
    int formatted = 0;
    auto counted = [&] { return ++formatted; };

    // Exercise
    TLOG(Graph) << counted();
    TLOG(Codec) << counted();

    // Verification
    EXPECT_EQ(formatted, 0);
    EXPECT_THAT(log.lines, IsEmpty());
}

TEST(LogOverride, LeavingRestoresTheCategoriesAndTheSinkBefore) {
    // Setup
    Captured outer("graph");
    {
        Captured inner("engine");
        TLOG(Graph) << "not for the inner one";
        TLOG(Engine) << "inner";
        EXPECT_THAT(inner.lines, ElementsAre(HasSubstr("engine")));
    }

    // Exercise
    TLOG(Engine) << "off again";
    TLOG(Graph) << "outer";

    // Verification
    EXPECT_THAT(outer.lines, ElementsAre(EndsWith(": outer\n")));
}

TEST(LibavLog, LibavsPartLinesBecomeOneCodecLineOnlyWhenCodecIsOn) {
    // Setup
    InitLibavLogging();
    std::vector<std::string> whenOff;
    {
        Captured off("graph");
        av_log(nullptr, AV_LOG_ERROR, "dropped\n");
        whenOff = off.lines;
    }
    Captured log("codec");

    // Exercise
    av_log(nullptr, AV_LOG_ERROR, "damaged %s", "frame");
    av_log(nullptr, AV_LOG_ERROR, " %d\n", 7);
    av_log(nullptr, AV_LOG_DEBUG, "too detailed\n");

    // Verification
    EXPECT_THAT(whenOff, IsEmpty());
    EXPECT_THAT(log.lines,
                ElementsAre(AllOf(HasSubstr("] codec t"), EndsWith(": damaged frame 7\n"))));
}

} // namespace
} // namespace talvence::log
