#pragma once

#include <QSpinBox>
#include <QString>
#include <QValidator>

class QWidget;

namespace ZORVI {

// A value row's spin box that never shortens what the pilot types. A plain
// QSpinBox refuses the key that takes the text past its maximum, so "250"
// typed into a row that allows 10 to 200 commits as 25, a value nobody
// asked for. Here any whole number may be typed; committing one outside the
// range (Enter, leaving the field, the window closing) changes nothing in
// the row and is reported instead, so that the window can say why.
class TypedValueSpinBox : public QSpinBox {
    Q_OBJECT

public:
    explicit TypedValueSpinBox(QWidget* parent = nullptr);

    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

    // Commits a typed value that is still waiting for Enter or for the
    // field to be left, as those would.
    void commitTypedText();

signals:
    // A typed number outside the range was committed; the row keeps its
    // value.
    void outOfRangeTyped(int value) const;

private:
    // The number in the text, without prefix, suffix and spaces.
    bool typedNumber(const QString& input, int* value) const;

    bool m_edited = false;
};

} // namespace ZORVI
