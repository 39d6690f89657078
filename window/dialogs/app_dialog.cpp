#include "window/dialogs/app_dialog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include <atomic>

#include "window/models/dialog_colours.h"

namespace dialogs::ui {

QDialogButtonBox* CAppDialog::MakeOkCancelButtons(QPushButton** ok) {
    auto* buttons = new QDialogButtonBox;
    QPushButton* okButton = buttons->addButton(QDialogButtonBox::Ok);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    okButton->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    cancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    SetControlId(okButton, 1);
    SetControlId(cancel, 2);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    if (ok) *ok = okButton;
    return buttons;
}

namespace {

constexpr const char* kControlIdProperty = "controlId";
std::atomic<bool> g_stylesActive{true};

QColor ToQColor(Rgb c) { return QColor(c.red, c.green, c.blue); }

}  // namespace

CAppDialog::CAppDialog(int templateId, QWidget* parent) : QDialog(parent), templateId_(templateId) {}
CAppDialog::~CAppDialog() = default;

void CAppDialog::SetControlId(QWidget* control, int id) {
    if (control) control->setProperty(kControlIdProperty, id);
}

int CAppDialog::ControlId(const QWidget* control) {
    if (!control) return 0;
    const QVariant id = control->property(kControlIdProperty);
    return id.isValid() ? id.toInt() : 0;
}

QWidget* CAppDialog::Control(int id) const {
    const auto children = findChildren<QWidget*>();
    for (QWidget* child : children)
        if (ControlId(child) == id) return child;
    return nullptr;
}

void CAppDialog::SetStylesActive(bool active) { g_stylesActive.store(active); }
bool CAppDialog::StylesActive() { return g_stylesActive.load(); }

void CAppDialog::ApplyControlColours() {
    const QRect client = rect();
    const auto children = findChildren<QWidget*>();
    for (QWidget* child : children) {
        ControlColourQuery query;
        query.stylesActive = StylesActive();
        query.templateId = templateId_;
        query.controlId = ControlId(child);
        query.childTop = child->mapTo(this, QPoint(0, 0)).y();
        query.clientTop = client.top();
        query.clientBottom = client.top() + client.height();
        if (qobject_cast<QLabel*>(child)) {
            query.controlClass = ControlClass::Static;
        } else if (auto* edit = qobject_cast<QLineEdit*>(child)) {
            query.controlClass = ControlClass::Edit;
            query.editable = !edit->isReadOnly() && edit->isEnabled();
        } else if (qobject_cast<QCheckBox*>(child)) {
            query.controlClass = ControlClass::Button;
            query.buttonStyle = 3;
        } else if (qobject_cast<QRadioButton*>(child)) {
            query.controlClass = ControlClass::Button;
            query.buttonStyle = 9;
        } else if (qobject_cast<QPushButton*>(child) || qobject_cast<QGroupBox*>(child)) {
            query.controlClass = ControlClass::Button;
        } else {
            continue;   // lists, bars and combo boxes draw their own faces
        }
        const ControlColour colour = ControlColourRule(query);
        auto* edit = qobject_cast<QLineEdit*>(child);
        switch (colour.fill) {
        case ControlFill::Default:
            break;
        case ControlFill::Gradient:
        case ControlFill::Transparent:
            child->setAutoFillBackground(false);
            if (edit) {
                QPalette palette = edit->palette();
                palette.setColor(QPalette::Base, Qt::transparent);
                edit->setPalette(palette);
            }
            break;
        case ControlFill::GradientOpaqueText:
            child->setAutoFillBackground(false);
            if (edit) {
                QPalette palette = edit->palette();
                palette.setColor(QPalette::Base, ToQColor(colour.textBackground));
                edit->setPalette(palette);
            }
            break;
        }
    }
}

void CAppDialog::paintEvent(QPaintEvent* event) {
    if (!StylesActive()) {
        QDialog::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const int height = this->height();
    const int width = this->width();
    for (int row = 0; row < height; ++row)
        painter.fillRect(0, row, width, 1, ToQColor(GradientFillRow(row, height, kGradientTop, kGradientBottom)));
}

void CAppDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    ApplyControlColours();
}

void CAppDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ApplyControlColours();
}

}  // namespace dialogs::ui
