#pragma once
// The base of every dialog of the program: a soft vertical gradient behind the
// dialog, with the see-through children (labels, check boxes, radio buttons,
// read-only fields of some dialogs) showing it instead of the plain face
// colour. Children carry their numeric control id as a property, so dialogs,
// translations and tests find them by the ids the texts are keyed by.

#include <QDialog>

class QDialogButtonBox;
class QPushButton;

namespace dialogs::ui {

class CAppDialog : public QDialog {
    Q_OBJECT

public:
    CAppDialog(int templateId, QWidget* parent = nullptr);
    ~CAppDialog() override;

    int TemplateId() const { return templateId_; }

    static void SetControlId(QWidget* control, int id);
    static int ControlId(const QWidget* control);   // 0 without one
    // The child with that id, or null.
    QWidget* Control(int id) const;
    template <typename T>
    T* ControlAs(int id) const { return qobject_cast<T*>(Control(id)); }

    // Whether the gradient look is in effect (always on a desktop with styles;
    // tests turn it off to see the plain look).
    static void SetStylesActive(bool active);
    static bool StylesActive();

    // Applies the colour rule to every child; runs after layout and on resize.
    void ApplyControlColours();

protected:
    // OK (id 1) and Cancel (id 2) with their icons, wired to accept and
    // reject; *ok receives the OK button when asked for.
    QDialogButtonBox* MakeOkCancelButtons(QPushButton** ok = nullptr);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    int templateId_;
};

}  // namespace dialogs::ui
