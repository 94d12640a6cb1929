#include "platform/shell/FieldPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSlider>

namespace talvence {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

bool SameShape(const std::vector<TPageField>& a, const std::vector<TPageField>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].kind != b[i].kind || a[i].items != b[i].items || a[i].minimum != b[i].minimum ||
            a[i].maximum != b[i].maximum)
            return false;
    return true;
}

// The rows of one page; rebuilt when the model's fields change shape.
class TFieldForm : public QWidget {
public:
    TFieldForm(IPageModel& model, QWidget* parent) : QWidget(parent), model_(model) {
        layout_ = new QFormLayout(this);
        Build();
    }

private:
    void Build() {
        while (layout_->rowCount() > 0)
            layout_->removeRow(0);
        editors_.clear();
        fields_ = model_.Fields();
        for (std::size_t i = 0; i < fields_.size(); ++i) {
            const TPageField& f = fields_[i];
            QWidget* editor = nullptr;
            switch (f.kind) {
            case TPageField::Kind::Slider: {
                auto* row = new QWidget(this);
                auto* h = new QHBoxLayout(row);
                h->setContentsMargins(0, 0, 0, 0);
                auto* slider = new QSlider(Qt::Horizontal, row);
                slider->setRange(f.minimum, f.maximum);
                slider->setSingleStep(f.step);
                slider->setPageStep(std::max(f.step, (f.maximum - f.minimum) / 10));
                slider->setValue(f.value);
                slider->setMinimumWidth(200);
                auto* value = new QLabel(QString::number(f.value), row);
                value->setMinimumWidth(40);
                h->addWidget(slider);
                h->addWidget(value);
                QObject::connect(slider, &QSlider::valueChanged, this, [this, i, value](int v) {
                    value->setNum(v);
                    Edited(i, v);
                });
                editor = row;
                break;
            }
            case TPageField::Kind::Check: {
                auto* box = new QCheckBox(this);
                box->setChecked(f.value != 0);
                QObject::connect(box, &QCheckBox::toggled, this,
                                 [this, i](bool on) { Edited(i, on ? 1 : 0); });
                editor = box;
                break;
            }
            case TPageField::Kind::List: {
                auto* list = new QComboBox(this);
                for (const std::string& item : f.items)
                    list->addItem(Q(item));
                list->setCurrentIndex(f.value);
                QObject::connect(list, &QComboBox::activated, this,
                                 [this, i](int v) { Edited(i, v); });
                editor = list;
                break;
            }
            case TPageField::Kind::Button: {
                auto* button = new QPushButton(Q(f.label), this);
                QObject::connect(button, &QPushButton::clicked, this, [this, i] { Edited(i, 1); });
                editor = button;
                break;
            }
            }
            editors_.push_back(editor);
            if (f.kind == TPageField::Kind::Button)
                layout_->addRow(QString(), editor);
            else
                layout_->addRow(Q(f.label), editor);
        }
    }

    void Edited(std::size_t index, int value) {
        model_.Change(index, value);
        auto now = model_.Fields();
        if (!SameShape(now, fields_)) {
            // Rebuilding deletes the editor that called; let its signal finish first.
            QMetaObject::invokeMethod(this, [self = QPointer(this)] {
                if (self) self->Build();
            }, Qt::QueuedConnection);
            return;
        }
        // A refused change shows the value the model kept.
        for (std::size_t i = 0; i < now.size(); ++i) {
            if (now[i].value == fields_[i].value) continue;
            QSignalBlocker block(editors_[i]);
            if (auto* box = qobject_cast<QCheckBox*>(editors_[i])) box->setChecked(now[i].value);
            if (auto* list = qobject_cast<QComboBox*>(editors_[i]))
                list->setCurrentIndex(now[i].value);
            if (auto* slider = editors_[i]->findChild<QSlider*>()) {
                QSignalBlocker blockSlider(slider);
                slider->setValue(now[i].value);
                if (auto* label = editors_[i]->findChild<QLabel*>()) label->setNum(now[i].value);
            }
        }
        fields_ = std::move(now);
    }

    IPageModel& model_;
    QFormLayout* layout_;
    std::vector<TPageField> fields_;
    std::vector<QWidget*> editors_;
};

} // namespace

QWidget* TFieldPropertyPage::CreateWidget(QWidget* parent) {
    return new TFieldForm(*model_, parent);
}

std::vector<std::unique_ptr<IPropertyPage>> FieldPages(const TPageList& models) {
    std::vector<std::unique_ptr<IPropertyPage>> pages;
    for (const auto& model : models)
        pages.push_back(std::make_unique<TFieldPropertyPage>(model));
    return pages;
}

std::vector<IPropertyPage*> PagePointers(const std::vector<std::unique_ptr<IPropertyPage>>& pages) {
    std::vector<IPropertyPage*> out;
    for (const auto& page : pages)
        out.push_back(page.get());
    return out;
}

} // namespace talvence
