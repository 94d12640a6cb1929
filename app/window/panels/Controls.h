#pragma once
// Small widgets that behave like the design's controls, and the base of the
// side panels. All of them live on the user-interface thread and are called
// from it only; they hold no locks.

#include <QGroupBox>
#include <QLabel>
#include <QStringList>
#include <QStyle>
#include <QWidget>

class QButtonGroup;
class QGridLayout;
class QLineEdit;
class QToolButton;

namespace talvence {

// A label that reports a left click.
class TClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A titled group of radio buttons, laid out in columns.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit TRadioGroup(QWidget* parent = nullptr);

    // Replaces the buttons; none is selected afterwards.
    void SetItems(const QStringList& items);
    void SetColumns(int columns);
    int ItemIndex() const; // -1 when none is selected
    // Selects without emitting clicked(); out of range selects none.
    void SetItemIndex(int index);
    QString ItemText(int index) const; // empty out of range
    int Count() const;

signals:
    // A user's click on an item.
    void clicked(int index);

private:
    void Arrange();

    QButtonGroup* buttons_;
    QGridLayout* grid_;
    int columns_ = 1;
};

// A line edit with a browse button. changed() follows every change of the
// text, typed, browsed or set.
class TBrowseEdit : public QWidget {
    Q_OBJECT
public:
    explicit TBrowseEdit(QWidget* parent = nullptr);

    QString Text() const;
    void SetText(const QString& text);
    QLineEdit* Edit() const { return edit_; }

signals:
    void changed(const QString& text);

protected:
    // Asks the user; an empty answer keeps the text.
    virtual QString Browse() = 0;

private:
    QLineEdit* edit_;
    QToolButton* button_;
};

// Browses for a folder.
class TDirectoryEdit : public TBrowseEdit {
    Q_OBJECT
public:
    using TBrowseEdit::TBrowseEdit;

protected:
    QString Browse() override;
};

// Browses for an existing file.
class TFileNameEdit : public TBrowseEdit {
    Q_OBJECT
public:
    using TBrowseEdit::TBrowseEdit;

protected:
    QString Browse() override;
};

// A side panel of the main window: a fixed-size child page in the panel
// column, shown one at a time.
class TPanelFrame : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 275;
    static constexpr int kHeight = 395;
    static constexpr int kTop = 40; // under the tool bars

    explicit TPanelFrame(QWidget* parent = nullptr);

    // Sets the English texts and hints on every control; run once at start-up.
    virtual void SetPanelTexts() = 0;
    // Moves to (left, kTop), brings to the front and shows.
    virtual void ShowPanel(int left);
    void HidePanel();
};

// A flat 22 × 22 tool button with a style icon at (x, y).
QToolButton* IconButton(QWidget* parent, QStyle::StandardPixmap icon, int x, int y);

// "Arial" at the given size in points; the store's fonts resolve the same way.
QFont ArialFont(int points, bool bold = false);

} // namespace talvence
