#pragma once

#include "spinedit/spin_control.h"
#include "spinedit/spin_value.h"
#include "spinedit/up_down.h"

#include <QLineEdit>
#include <QPointer>

#include <cstdint>
#include <functional>

namespace spinedit {

class TRxSpinButton;

// A one-line edit with a button part at its right end (its left end in a
// right-to-left layout) that steps a SpinValue up and down. The button part is
// either the diagonal TRxSpinButton inside a child named "ButtonHolder" (the
// button itself is "SpinButton"), or the standard TRxUpDown ("UpDown").
//
// The edit's text and the model's text are kept the same: typing, pasting and
// QLineEdit::setText reach the model, and every write of the model shows in the
// edit. OnChange follows every text change except the writes inside a step; a
// step raises it once afterwards if the text changed.
//
// Typed characters are filtered by AcceptsChar; a refused one sounds the beep.
// Pasted text is not filtered. Up and Down step while ArrowKeys is on. Enter and
// Escape go to the window's default button and, in a dialog, to its cancel
// action; Enter never reaches the edit. Leaving the field rewrites a value that
// reads outside the bounds.
//
// Errors of a step (a value that has no text, a throwing handler) propagate as
// exceptions out of the event handler that stepped; the application catches
// them in its QApplication::notify. The editor stays consistent.
class TRxSpinEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(double Value READ Value WRITE setValue)
    Q_PROPERTY(double MinValue READ MinValue WRITE setMinValue)
    Q_PROPERTY(double MaxValue READ MaxValue WRITE setMaxValue)
    Q_PROPERTY(double Increment READ Increment WRITE setIncrement)
    Q_PROPERTY(bool ArrowKeys READ ArrowKeys WRITE setArrowKeys)
    Q_PROPERTY(bool EditorEnabled READ EditorEnabled WRITE setEditorEnabled)
    Q_PROPERTY(bool AutoSelect READ AutoSelect WRITE setAutoSelect)
    // Replace QLineEdit's, whose meanings the editor extends.
    Q_PROPERTY(bool readOnly READ isReadOnly WRITE setReadOnly)
    Q_PROPERTY(bool frame READ hasFrame WRITE setFrame)
    Q_PROPERTY(Qt::Alignment alignment READ alignment WRITE setAlignment)
    Q_PROPERTY(bool modified READ Modified WRITE setModified DESIGNABLE false)

public:
    explicit TRxSpinEdit(QWidget* parent = nullptr);
    ~TRxSpinEdit() override;

    // The value, as SpinValue has it.
    double Value() const { return m_value.Value(); }
    void setValue(double x) { m_value.setValue(x); }
    TValueType ValueType() const { return m_value.ValueType(); }
    void setValueType(TValueType type) { m_value.setValueType(type); }
    double MinValue() const { return m_value.MinValue(); }
    void setMinValue(double v) { m_value.setMinValue(v); }
    double MaxValue() const { return m_value.MaxValue(); }
    void setMaxValue(double v) { m_value.setMaxValue(v); }
    double Increment() const { return m_value.Increment(); }
    void setIncrement(double v) { m_value.setIncrement(v); }
    std::uint8_t Decimal() const { return m_value.Decimal(); }
    void setDecimal(std::uint8_t digits) { m_value.setDecimal(digits); }
    TTimeEcho TimeEcho() const { return m_value.TimeEcho(); }
    void setTimeEcho(TTimeEcho echo) { m_value.setTimeEcho(echo); }
    double LimitToBounds(double x) const { return m_value.LimitToBounds(x); }
    std::int32_t TimeStepsPerDay() { return m_value.TimeStepsPerDay(); }
    bool StepInProgress() const { return m_value.StepInProgress(); }

    // The model behind the text, for the value properties it has beyond these
    // (the decimal separator) and for layouts written against it. Its hooks
    // belong to the editor: replacing them cuts the editor off from its text.
    SpinValue& model() { return m_value; }
    const SpinValue& model() const { return m_value; }

    virtual void StepUp();
    virtual void StepDown();

    TSpinButtonKind ButtonKind() const { return m_buttonKind; }
    void setButtonKind(TSpinButtonKind kind);
    // Qt always has the standard arrows, so this is ButtonKind.
    TSpinButtonKind EffectiveButtonKind() const { return m_buttonKind; }

    bool ArrowKeys() const { return m_rules.ArrowKeys(); }
    void setArrowKeys(bool on);
    // Off refuses every edit from the keyboard, the clipboard and drops; the
    // button part and the arrow keys still step.
    bool EditorEnabled() const { return m_rules.EditorEnabled(); }
    void setEditorEnabled(bool on);
    // Selects all text when the field is entered other than by clicking its text.
    bool AutoSelect() const { return m_rules.AutoSelect(); }
    void setAutoSelect(bool on) { m_rules.setAutoSelect(on); }

    // Read-only beeps on every step. These hide QLineEdit's own, which the
    // editor also turns on while EditorEnabled is off: call them on the editor.
    bool isReadOnly() const { return m_value.ReadOnly(); }
    void setReadOnly(bool on);
    void setFrame(bool on);
    // Left by default. Left and right swap in a right-to-left layout whatever
    // the text, which Qt would otherwise align by its own direction: digits
    // would sit against the button part.
    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);
    // Set by typing and by steps that change the text.
    bool Modified() const { return m_value.Modified(); }
    void setModified(bool modified);

    // Width of the standard arrows: the style's scroll bar width, at most 15.
    int StandardButtonWidth() const;
    int ButtonPartWidth() const;
    // The editor never gets lower than its font's height plus its borders.
    int MinimumHeight() const;

    // Typed characters the editor takes: signs and digits, and the separator
    // and exponent of a real, hexadecimal letters, or the separators of a
    // time; control characters always, except backspace while EditorEnabled
    // is off, which takes nothing else.
    virtual bool AcceptsChar(QChar c) const;

    // Called instead of QApplication::beep() when set.
    void setBeepHook(std::function<void()> hook) { m_beepHook = std::move(hook); }

signals:
    void OnChange();
    void OnTopClick();
    void OnBottomClick();

protected:
    void RebuildButton();
    void PlaceButton();
    void SetTextArea();

    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showModelText();
    void applyReadOnly();
    void applyAlignment();
    void upDownClicked(TRxUpDown::Button button);
    void passDialogKey(const QKeyEvent& key);
    void beep();

    SpinValue m_value;
    SpinEditRules m_rules{m_value};
    TSpinButtonKind m_buttonKind = TSpinButtonKind::bkDiagonal;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    // Focus came with a mouse press; a press landing on the button part
    // rather than the text counts as entering from the button part.
    bool m_selectOnButtonPress = false;
    QPointer<QWidget> m_holder;
    QPointer<TRxSpinButton> m_button;
    QPointer<TRxUpDown> m_upDown;
    std::function<void()> m_beepHook;
};

} // namespace spinedit
