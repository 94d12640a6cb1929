#pragma once
// The MovieBox priming window `TamorcerForm`: how to check that the MovieBox USB runs and how to
// bring it back, beside the property frame of its capture filter (owned by the invisible `Memo2`,
// so the frame opens there). The main window shows it only while it primes the box.
//
// Threads: the user-interface thread only.

#include <QWidget>

#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QTextEdit;

namespace talvence {

// The instructions' styles: the title (bold blue, 14), then at size 10 plain (regular black),
// key (bold italic blue) and name (italic black).
enum class PrimingStyle { Title, Plain, Key, Name };

struct PrimingPiece {
    PrimingStyle style;
    std::string text; // "\r\n" breaks the line
};

// The instructions in the order they are written.
std::vector<PrimingPiece> PrimingInstructions();

class TamorcerForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 700;
    static constexpr int kHeight = 400;

    // Hidden, captioned with the product and version, the instructions written.
    explicit TamorcerForm(QWidget* parent = nullptr);

    // The caption the main window's first show gives it.
    void SetShownCaption();

    QTextEdit* re = nullptr;
    QLabel* Image1 = nullptr;
    QPlainTextEdit* Memo2 = nullptr; // invisible: where the property frame opens

private:
    void WriteInstructions();
};

} // namespace talvence
