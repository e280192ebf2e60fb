// What a screen reader finds in both windows, without a screen reader:
// every Tab stop has a name, each row's control is named by the setting it
// edits and tied to its caption, and a status bar message is announced.

#ifndef _WIN32
#include "PrivateRuntimeDir.h"
#endif
#include "StatusAnnouncement.h"
#include "WindowChild.h"
#include "ZORVIKMiniSetup.h"
#include "ZORVIKUpdater.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QFrame>
#include <QImage>
#include <QMainWindow>
#include <QScrollArea>
#include <QStatusBar>
#include <QStringList>
#include <QTabWidget>
#include <QTest>

#include <memory>
#include <utility>

using ZORVI::StatusAnnouncement;
using ZORVI::ZORVIKMiniSetup;
using ZORVI::ZORVIKUpdater;

namespace {

std::unique_ptr<QMainWindow> makeWindow(const QString& program)
{
    if (program == QLatin1String("settings"))
        return std::make_unique<ZORVIKMiniSetup>();
    return std::make_unique<ZORVIKUpdater>();
}

// The window's own Tab stops: its widgets that take the focus by Tab, not
// the parts that pass it on (a spin box's text field) nor popups.
QList<QWidget*> tabStops(QMainWindow& window)
{
    QList<QWidget*> stops;
    for (QWidget* widget : window.findChildren<QWidget*>())
        if ((widget->focusPolicy() & Qt::TabFocus) && !widget->focusProxy()
            && widget->window() == &window)
            stops.append(widget);
    return stops;
}

QString accessibleText(QObject* object, QAccessible::Text text)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
    return face ? face->text(text) : QString();
}

// The names of the labels a control is labelled by.
QStringList labelsOf(QWidget* control)
{
    QStringList labels;
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(control);
    for (const auto& [label, relation] : face->relations(QAccessible::Label))
        labels.append(label->text(QAccessible::Name));
    return labels;
}

// The pixels on the border of a widget's rectangle (in the window) that
// differ between two pictures of the window.
int changedBorderPixels(const QImage& before, const QImage& after, const QRect& rect)
{
    int changed = 0;
    const auto compare = [&](int x, int y) {
        if (before.valid(x, y) && before.pixel(x, y) != after.pixel(x, y))
            ++changed;
    };
    for (int x = rect.left(); x <= rect.right(); ++x) {
        compare(x, rect.top());
        compare(x, rect.bottom());
    }
    for (int y = rect.top() + 1; y < rect.bottom(); ++y) {
        compare(rect.left(), y);
        compare(rect.right(), y);
    }
    return changed;
}

} // namespace

class AccessibleNamesTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void everyTabStopHasAName_data();
    void everyTabStopHasAName();
    void rowControlIsNamedBySetting_data();
    void rowControlIsNamedBySetting();
    void everySettingControlIsTiedToACaption();
    void pageShowsItsFocus();
    void statusMessageIsAnnounced_data();
    void statusMessageIsAnnounced();

private:
    // Each window lists the ports of its own port map: none (Windows has
    // no port map; it lists its own ports).
#ifndef _WIN32
    std::unique_ptr<PrivateRuntimeDir> m_runtime;
#endif
};

void AccessibleNamesTest::init()
{
#ifndef _WIN32
    m_runtime = std::make_unique<PrivateRuntimeDir>();
#endif
}

void AccessibleNamesTest::cleanup()
{
#ifndef _WIN32
    m_runtime.reset();
#endif
}

void AccessibleNamesTest::everyTabStopHasAName_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("settings") << QStringLiteral("settings");
    QTest::newRow("updater") << QStringLiteral("updater");
}

void AccessibleNamesTest::everyTabStopHasAName()
{
    QFETCH(QString, program);
    const std::unique_ptr<QMainWindow> window = makeWindow(program);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    const QList<QWidget*> stops = tabStops(*window);
    QVERIFY(!stops.isEmpty());
    QStringList unnamed;
    for (QWidget* stop : stops)
        if (accessibleText(stop, QAccessible::Name).trimmed().isEmpty())
            unnamed.append(QStringLiteral("%1 (%2)").arg(stop->objectName(),
                                                        stop->metaObject()->className()));
    QVERIFY2(unnamed.isEmpty(), qPrintable(QStringLiteral("%1 of %2 Tab stops without a name: %3")
                                               .arg(unnamed.size())
                                               .arg(stops.size())
                                               .arg(unnamed.join(QStringLiteral(", ")))));
}

void AccessibleNamesTest::rowControlIsNamedBySetting_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");

    const auto row = [](const char* control, const QString& heading, const QString& caption,
                        const QString& captionShown) {
        QTest::newRow(control) << QString::fromLatin1(control)
                               << QStringLiteral("%1, %2").arg(heading, caption) << captionShown;
    };
    // A value's caption is its own label; a preset list has none beside it
    // and is captioned by its row's heading.
    const QString userValue = QStringLiteral("User Defined Value");
    const QString preset = QStringLiteral("Preset");
    row("m_spinBoxHeadingLockGain", "Tail - HeadingLock Gain", userValue, userValue);
    row("m_cmbBoxHeadingLockGainID", "Tail - HeadingLock Gain", preset, "Tail - HeadingLock Gain");
    row("m_spinBoxSwashServoFrequency", "Swashplate Servo - Frequency", userValue, userValue);
    row("m_cmbBoxSwashServoFrequencyID", "Swashplate Servo - Frequency", preset,
        "Swashplate Servo - Frequency");
    row("m_cmbCyclicBoostID", "Cyclic Response", preset, "Cyclic Response");
    row("m_cmbBoxSwashGeometry", "Swashplate - Mixer", "User Defined Geometry",
        "User Defined Geometry");
    row("m_spinBoxSwashVirtualRotation", "Swashplate - Mixer", "User Defined Phase Angle",
        "User Defined Phase Angle");
    row("m_cmbBoxTorqueDir", "Tail - Revomix and Asymmetry",
        "User Defined Main Rotor Torque Direction", "User Defined Main Rotor Torque Direction");
    row("m_spinBoxRevoMixPitch", "Tail - Revomix and Asymmetry", "User Defined Revo Mix Pitch",
        "User Defined Revo Mix Pitch");
}

void AccessibleNamesTest::rowControlIsNamedBySetting()
{
    QFETCH(QString, control);
    QFETCH(QString, name);
    QFETCH(QString, caption);

    ZORVIKMiniSetup window;
    auto* widget = child<QWidget>(window, control);
    // Nothing is connected: a list shows no value, and is named like any
    // other control (on Linux a list that shows one is named by it, as the
    // desktop's own lists are, and says its setting through its caption).
    QCOMPARE(widget->accessibleName(), name);
    QCOMPARE(accessibleText(widget, QAccessible::Name), name);
    QVERIFY2(labelsOf(widget).contains(caption),
             qPrintable(labelsOf(widget).join(QStringLiteral(" | "))));
}

void AccessibleNamesTest::everySettingControlIsTiedToACaption()
{
    ZORVIKMiniSetup window;
    auto* pages = child<QTabWidget>(window, "m_tabControl");
    QList<QWidget*> controls;
    for (QComboBox* list : pages->findChildren<QComboBox*>())
        controls.append(list);
    for (QAbstractSpinBox* spinBox : pages->findChildren<QAbstractSpinBox*>())
        controls.append(spinBox);
    // 12 preset and choice lists, 12 values.
    QCOMPARE(controls.size(), 24);
    QStringList untied;
    // Each one's caption is part of its name (heading, caption).
    for (QWidget* control : std::as_const(controls)) {
        const QStringList labels = labelsOf(control);
        if (labels.size() != 1 || labels.first().isEmpty()
            || !control->accessibleName().contains(labels.first()))
            untied.append(QStringLiteral("%1 ('%2' by %3)")
                              .arg(control->objectName(), control->accessibleName(),
                                   labels.join(QStringLiteral(" | "))));
    }
    QVERIFY2(untied.isEmpty(), qPrintable(untied.join(QStringLiteral(", "))));
}

// The page is a Tab stop of its own (the first one, where the keys scroll
// it): with the focus it is framed, without it not.
void AccessibleNamesTest::pageShowsItsFocus()
{
    ZORVIKMiniSetup window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* page = child<QScrollArea>(window, "scrollArea");
    auto* frame = child<QFrame>(window, "pageFocusFrame");
    auto* portList = child<QWidget>(window, "m_cmbBoxZorvilink");

    portList->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(portList->hasFocus());
    QVERIFY(!frame->isVisible());
    const QImage unfocused = window.grab().toImage();

    page->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(page->hasFocus());
    QVERIFY(frame->isVisible());
    const QImage focused = window.grab().toImage();
    QCOMPARE(frame->geometry(), page->rect());
    // The frame is drawn over the page's edges: its outline differs from
    // the page without the focus.
    const QRect outline(frame->mapTo(&window, QPoint(0, 0)), frame->size());
    const int perimeter = 2 * (outline.width() + outline.height());
    QVERIFY2(changedBorderPixels(unfocused, focused, outline) > perimeter * 9 / 10,
             qPrintable(QStringLiteral("%1 of %2 pixels changed")
                            .arg(changedBorderPixels(unfocused, focused, outline))
                            .arg(perimeter)));
}

void AccessibleNamesTest::statusMessageIsAnnounced_data()
{
    everyTabStopHasAName_data();
}

void AccessibleNamesTest::statusMessageIsAnnounced()
{
    QFETCH(QString, program);
    const std::unique_ptr<QMainWindow> window = makeWindow(program);
    auto* announcement = window->statusBar()->findChild<StatusAnnouncement*>();
    QVERIFY(announcement);
    QCOMPARE(accessibleText(announcement, QAccessible::Name), statusText(*window));
    QCOMPARE(QAccessible::queryAccessibleInterface(announcement)->role(),
             QAccessible::Notification);

    // Offscreen no event reaches anyone (tests/accessibility listens for
    // them on the desktop's accessibility bus); the name follows the bar.
    const QString message = QStringLiteral("Settings successfully stored.");
    window->statusBar()->showMessage(message);
    QCOMPARE(accessibleText(announcement, QAccessible::Name), message);
    // Each message is a notification of its own that keeps its name: a
    // screen reader that gets to the events late reads each one as it was.
    const QString next = QStringLiteral("Write failed!");
    window->statusBar()->showMessage(next);
    const QList<QWidget*> shown = announcement->findChildren<QWidget*>();
    QVERIFY(shown.size() >= 2);
    QCOMPARE(accessibleText(shown.at(shown.size() - 2), QAccessible::Name), message);
    QCOMPARE(accessibleText(shown.last(), QAccessible::Name), next);
    QCOMPARE(QAccessible::queryAccessibleInterface(shown.last())->role(),
             QAccessible::Notification);
    QCOMPARE(announcement->recentMessages().mid(announcement->recentMessages().size() - 2),
             QStringList({message, next}));
    // Only the last few are kept.
    for (int i = 0; i < 2 * StatusAnnouncement::KEPT_MESSAGES; ++i)
        window->statusBar()->showMessage(QString::number(i));
    QCOMPARE(announcement->recentMessages().size(), StatusAnnouncement::KEPT_MESSAGES);
    QCOMPARE(announcement->recentMessages().last(),
             QString::number(2 * StatusAnnouncement::KEPT_MESSAGES - 1));
    window->statusBar()->clearMessage();
    QCOMPARE(accessibleText(announcement, QAccessible::Name), QString());
    // Nothing of it is seen, nor reached by Tab or the pointer.
    QCOMPARE(announcement->size(), QSize(0, 0));
    QCOMPARE(announcement->focusPolicy(), Qt::NoFocus);
}

QTEST_MAIN(AccessibleNamesTest)
#include "AccessibleNamesTest.moc"
