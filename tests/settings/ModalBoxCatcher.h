#pragma once

// Closes the modal message boxes a window opens while a test drives it, and
// remembers what each one said. Offscreen, nobody else would close them and
// the test would hang in the box's event loop.

#include <QAbstractButton>
#include <QApplication>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class ModalBoxCatcher : public QObject {
public:
    struct Box {
        QMessageBox::Icon icon;
        QString text;
        QString informativeText;
        // What the test wanted to know about the window while the box showed.
        QString stateWhileShown;
    };

    explicit ModalBoxCatcher(std::function<QString()> stateProbe = {})
        : m_stateProbe(std::move(stateProbe))
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, &ModalBoxCatcher::closeActiveBox);
        m_timer.start();
    }

    const QList<Box>& boxes() const { return m_boxes; }
    // Boxes with a button of this text are answered with it (for example
    // "Correct Now"); the others as before.
    void answerWith(const QString& buttonText) { m_answer = buttonText; }

private:
    void closeActiveBox()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box == m_lastClosed)
            return;
        m_boxes.append({box->icon(), box->text(), box->informativeText(),
                        m_stateProbe ? m_stateProbe() : QString()});
        m_lastClosed = box;
        for (QAbstractButton* button : box->buttons()) {
            if (!m_answer.isEmpty() && button->text() == m_answer) {
                button->click();
                return;
            }
        }
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    }

    std::function<QString()> m_stateProbe;
    QTimer m_timer;
    QList<Box> m_boxes;
    QPointer<QMessageBox> m_lastClosed;
    QString m_answer;
};
