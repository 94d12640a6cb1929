#pragma once
// The inlay: the inlay panel's items for the source, its live changes, the font dialog, the
// position sliders on the preview with their corner square, and the inlay, start, stop and
// sliders actions. Every change stores its preference first and then feeds the superposer
// through the one mapping of app/core/InlayPreferences, whether or not the inlay is drawing, so
// that a graph rebuilt later starts from the same settings.
//
// Threads: the user-interface thread only; no locks (the superposer's setters are plain).

#include <QColor>
#include <QIcon>
#include <QObject>

class QAction;
class QSlider;
class QWidget;

namespace talvence {

class IDialogs;
class TIncrusterFrame;
class Tvq_Superposer;
struct TPreferences;

class TInlayController : public QObject {
    Q_OBJECT
public:
    struct Actions {
        QAction* incruster = nullptr; // the toggle (F12, Ctrl+I)
        QAction* start = nullptr;     // acStartIncruster
        QAction* stop = nullptr;      // acStopIncruster
        QAction* sliders = nullptr;   // acSliders (Alt+Y)
    };
    // The sliders and the corner square are made on `previewPanel`, around the preview.
    TInlayController(TIncrusterFrame& frame, QWidget& previewPanel, Actions actions,
                     TPreferences& prefs, Tvq_Superposer& superposer, IDialogs& dialogs,
                     QObject* parent = nullptr);

    // Hints of the sliders and the corner square (LocalizeCaptions).
    void SetTexts();
    // After every source analysis: the choice and when items a source offers.
    void AdaptToSource(bool dv);
    // The inlay panel's step of ApplyPreferences and of CollectAndSavePreferences.
    void ApplyPreferences();
    void CollectPreferences();
    // The start and stop inlay actions.
    void StartInlay();
    void StopInlay();
    // The sliders take the colour of the preview frame (the capture state's).
    void SetSliderColour(const QColor& colour);

    QSlider* Xslider;
    QSlider* Yslider;
    QWidget* Shape1; // the corner square

private:
    void ShowToggle(bool on);
    void SlidersExecute(bool visible);
    void ModeClick(int index);
    void ChoiceClick(int index);
    void FormatChange();
    void SliderChanged();
    void FontClick();

    TIncrusterFrame& frame_;
    Actions actions_;
    TPreferences& prefs_;
    Tvq_Superposer& superposer_;
    IDialogs& dialogs_;
    QIcon startIcon_; // the toggle's image while no inlay is drawn
};

} // namespace talvence
