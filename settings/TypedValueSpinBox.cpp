#include "TypedValueSpinBox.h"

#include <QLineEdit>

namespace ZORVI {

TypedValueSpinBox::TypedValueSpinBox(QWidget* parent)
    : QSpinBox(parent)
{
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { m_edited = true; });
    connect(this, &QAbstractSpinBox::editingFinished, this, [this] { m_edited = false; });
}

bool TypedValueSpinBox::typedNumber(const QString& input, int* value) const
{
    QString text = input;
    if (!prefix().isEmpty() && text.startsWith(prefix()))
        text.remove(0, prefix().size());
    if (!suffix().isEmpty() && text.endsWith(suffix()))
        text.chop(suffix().size());
    bool ok = false;
    *value = locale().toInt(text.trimmed(), &ok);
    return ok;
}

// A number past the limits stays in the field as typed (Intermediate: it
// cannot be committed as it is); the commit then reaches fixup().
QValidator::State TypedValueSpinBox::validate(QString& input, int& pos) const
{
    const QValidator::State state = QSpinBox::validate(input, pos);
    int value = 0;
    if (state == QValidator::Invalid && typedNumber(input, &value))
        return QValidator::Intermediate;
    return state;
}

// Called when a text that is no acceptable value is committed; the spin box
// then goes back to the value it had.
void TypedValueSpinBox::fixup(QString& input) const
{
    QSpinBox::fixup(input);
    int value = 0;
    if (typedNumber(input, &value) && (value < minimum() || value > maximum()))
        emit outOfRangeTyped(value);
}

void TypedValueSpinBox::commitTypedText()
{
    if (!m_edited)
        return;
    m_edited = false;
    interpretText();
}

} // namespace ZORVI
