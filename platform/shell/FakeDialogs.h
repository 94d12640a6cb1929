#pragma once
// Scripted dialogs for tests: answers are taken from queues in order, and
// every question asked is recorded.

#include "platform/shell/Dialogs.h"

#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>

namespace talvence {

class FakeDialogs : public IDialogs {
public:
    struct Message {
        MsgType type;
        std::string text;
        MsgButtons buttons;
    };

    // Answers to questions (boxes with more than an OK button); a box with
    // only OK is answered OK without taking from the queue.
    std::deque<MsgAnswer> answers;
    std::deque<std::optional<TFontSpec>> fonts; // for ChooseFont: nullopt cancels
    std::deque<bool> frameAnswers;              // for ShowPropertyFrame

    std::vector<Message> messages;
    std::vector<std::string> frameCaptions;
    std::vector<std::vector<std::string>> framePages; // the page titles of each frame
    // Where each placed frame opened: its owner and position in it.
    struct Placement {
        const QWidget* owner;
        int x, y;
    };
    std::vector<Placement> framePlacements;
    // Called with the pages of each frame before it is answered, as a user editing them.
    std::function<void(const std::vector<IPropertyPage*>&)> onFrame;

    MsgAnswer MessageBox(MsgType type, const std::string& text, MsgButtons buttons) override {
        messages.push_back({type, text, buttons});
        if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
        // A question the test did not expect must not pass unnoticed.
        if (answers.empty()) throw std::logic_error("FakeDialogs: unexpected question: " + text);
        MsgAnswer a = answers.front();
        answers.pop_front();
        return a;
    }

    bool ChooseFont(TFontSpec& font) override {
        if (fonts.empty()) throw std::logic_error("FakeDialogs: unexpected font dialog");
        auto f = fonts.front();
        fonts.pop_front();
        if (!f) return false;
        font = *f;
        return true;
    }

    bool ShowPropertyFrame(const std::string& caption,
                           const std::vector<IPropertyPage*>& pages) override {
        frameCaptions.push_back(caption);
        framePages.emplace_back();
        for (IPropertyPage* p : pages)
            framePages.back().push_back(p->Title());
        if (frameAnswers.empty()) throw std::logic_error("FakeDialogs: unexpected property frame");
        bool ok = frameAnswers.front();
        frameAnswers.pop_front();
        if (onFrame) onFrame(pages);
        for (IPropertyPage* p : pages)
            if (ok)
                p->Apply();
            else
                p->Cancel();
        return ok;
    }

    bool ShowPlacedPropertyFrame(const std::string& caption,
                                 const std::vector<IPropertyPage*>& pages, QWidget* owner, int x,
                                 int y) override {
        framePlacements.push_back({owner, x, y});
        return ShowPropertyFrame(caption, pages);
    }
};

} // namespace talvence
