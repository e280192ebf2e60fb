// The settings window as built from its form, before any device is
// connected, offscreen: the object names the window's code finds its
// widgets by, the texts a user reads, the group letters and captions with
// their bold part, the images, and the about box opened from the menu.

#include "AboutBox.h"
#include "SwashPlate.h"
#include "ZORVIKMiniSetup.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

using ZORVI::ZORVIKMiniSetup;

namespace {

const QString IMAGES = QStringLiteral(":/Images/Resources/");

QString plainText(const QString& richText)
{
    QTextDocument document;
    document.setHtml(richText);
    return document.toPlainText();
}

// The text of the document's fragments set in a weight of 600 or more.
QString boldText(const QString& richText)
{
    QTextDocument document;
    document.setHtml(richText);
    QString bold;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().fontWeight() >= QFont::DemiBold)
                bold += it.fragment().text();
    return bold;
}

// Pixmaps keep premultiplied pixels: compare in that form.
QImage argb(const QImage& image)
{
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// The text a user reads on a widget, whatever kind it is.
QString readText(QObject* object)
{
    if (auto* label = qobject_cast<QLabel*>(object))
        return plainText(label->text());
    if (auto* button = qobject_cast<QPushButton*>(object))
        return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(object))
        return group->title();
    if (auto* menu = qobject_cast<QMenu*>(object))
        return menu->title();
    if (auto* action = qobject_cast<QAction*>(object))
        return action->text();
    return QStringLiteral("<%1 has no text>").arg(object->metaObject()->className());
}

} // namespace

class SettingsFormTest : public QObject {
    Q_OBJECT

private slots:
    void namesAndTexts_data();
    void namesAndTexts();
    void groupHeaders_data();
    void groupHeaders();
    void presetListIcons();
    void imagesAndVisualizer();
    void aboutBoxFromTheMenu();
};

void SettingsFormTest::namesAndTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");

    const struct {
        const char* name;
        const char* className;
        const char* text;
    } rows[] = {
        {"menu_File", "QMenu", "&File"},
        {"action_Close", "QAction", "&Close"},
        {"menu_About", "QMenu", "&About"},
        {"action_About_ZORVIK_Micro_Settings", "QAction", "&About TR6400QK Micro Settings"},
        {"m_grpBoxInterface", "QGroupBox", "USB-Interface (KORLINK)"},
        {"m_btnConnect", "QPushButton", "Connect"},
        {"m_btnDisconnect", "QPushButton", "Disconnect"},
        {"label_7", "QLabel", "Hardware Version"},
        {"label_5", "QLabel", "Application Version"},
        {"label_6", "QLabel", "Data Version"},
        {"label_8", "QLabel", "Serial Number"},
        {"label", "QLabel", "* Factory Set"},
        {"label_56", "QLabel", "User Defined Value"},
        {"label_57", "QLabel", "User Defined Value"},
        {"label_58", "QLabel", "User Defined Value"},
        {"label_46", "QLabel", "User Defined Geometry"},
        {"label_18", "QLabel", "User Defined Phase Angle"},
        {"label_59", "QLabel", "User Defined Value"},
        {"label_60", "QLabel", "User Defined Value"},
        {"label_61", "QLabel", "User Defined Value"},
        {"label_21", "QLabel", "User Defined Main Rotor Torque Direction"},
        {"label_53", "QLabel", "User Defined Revo Mix Cyclic"},
        {"label_22", "QLabel", "User Defined Revo Mix Pitch"},
        {"label_23", "QLabel", "User Defined Asymmetry"},
        {"label_54", "QLabel", "User Defined Value"},
        {"label_55", "QLabel", "User Defined Value"},
        {"m_SwashPlate", "SwashPlate", "SwashPlate Visualizer"},
    };
    for (const auto& row : rows)
        QTest::newRow(row.name) << row.name << row.className << QString::fromUtf8(row.text);
}

void SettingsFormTest::namesAndTexts()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, text);

    ZORVIKMiniSetup window;
    QObject* object = window.findChild<QObject*>(name);
    QVERIFY2(object, qPrintable(name));
    QCOMPARE(QString::fromLatin1(object->metaObject()->className()), className);
    QCOMPARE(readText(object), text);
}

void SettingsFormTest::groupHeaders_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("letterLabel");
    QTest::addColumn<QString>("captionLabel");
    QTest::addColumn<QString>("presetList");
    QTest::addColumn<QString>("letter");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("boldPart");

    const struct {
        const char* page;
        const char* frame;
        const char* letterLabel;
        const char* captionLabel;
        const char* presetList;
        const char* letter;
        const char* normalPart;
        const char* boldPart;
    } rows[] = {
        {"m_tabSetupMenu", "m_frmSetupB", "label_28", "label_29", "m_cmbBoxSwashServoFrequencyID",
         "B", "Swashplate Servo - ", "Frequency"},
        {"m_tabSetupMenu", "frame_7", "label_30", "label_31", "m_cmbBoxTailServoCPPLID", "C",
         "Tail Servo - ", "Center Position Pulse Length"},
        {"m_tabSetupMenu", "frame_8", "label_32", "label_33", "m_cmbBoxTailServoFrequencyID", "D",
         "Tail Servo - ", "Frequency"},
        {"m_tabSetupMenu", "frame", "label_16", "label_17", "m_cmbBoxSwashMixerID", "H",
         "Swashplate - ", "Mixer"},
        {"m_tabParameterMenu", "frame_9", "label_36", "label_37", "m_cmbBoxPitchingUpBehaviourID",
         "C", "Swashplate - ", "Pitching Up Behaviour"},
        {"m_tabParameterMenu", "frame_10", "label_38", "label_39", "m_cmbBoxHeadingLockGainID",
         "D", "Tail - ", "HeadingLock Gain"},
        {"m_tabParameterMenu", "frame_11", "label_40", "label_41", "m_cmbBoxStickDeadbandID", "E",
         "", "Stick Deadband"},
        {"m_tabParameterMenu", "frame_2", "label_19", "label_20", "m_cmbBoxRevoMixID", "F",
         "Tail - ", "Revomix and Asymmetry"},
        {"m_tabParameterMenu", "m_frmParaG", "label_24", "label_25", "m_cmbCyclicBoostID", "G", "",
         "Cyclic Response"},
        {"m_tabParameterMenu", "m_frmParaH", "label_26", "label_27", "m_cmbBoxPitchBoostID", "H",
         "", "Pitch Boost"},
    };
    for (const auto& row : rows)
        QTest::newRow(row.frame) << row.page << row.frame << row.letterLabel << row.captionLabel
                                 << row.presetList << row.letter
                                 << QString::fromLatin1(row.normalPart) + row.boldPart
                                 << row.boldPart;
}

void SettingsFormTest::groupHeaders()
{
    QFETCH(QString, page);
    QFETCH(QString, frame);
    QFETCH(QString, letterLabel);
    QFETCH(QString, captionLabel);
    QFETCH(QString, presetList);
    QFETCH(QString, letter);
    QFETCH(QString, caption);
    QFETCH(QString, boldPart);

    ZORVIKMiniSetup window;
    auto* group = window.findChild<QFrame*>(frame);
    QVERIFY(group);
    QCOMPARE(group->frameShape(), QFrame::Box);
    // The group sits on its page; its header widgets inside it.
    QVERIFY(window.findChild<QWidget*>(page)->isAncestorOf(group));
    auto* letterWidget = group->findChild<QLabel*>(letterLabel);
    auto* captionWidget = group->findChild<QLabel*>(captionLabel);
    auto* list = group->findChild<QComboBox*>(presetList);
    QVERIFY(letterWidget && captionWidget && list);

    QCOMPARE(plainText(letterWidget->text()), letter);
    QCOMPARE(boldText(letterWidget->text()), letter);
    QCOMPARE(letterWidget->styleSheet(), QStringLiteral("background-color: rgb(245, 171, 47);\ncolor: rgb(0, 0, 0);"));
    QCOMPARE(letterWidget->alignment(), Qt::AlignCenter);
    QVERIFY(letterWidget->minimumWidth() >= 50);
    QCOMPARE(plainText(captionWidget->text()), caption);
    QCOMPARE(boldText(captionWidget->text()), boldPart);
    QCOMPARE(captionWidget->indent(), 10);
    QCOMPARE(list->minimumWidth(), 150);
    QCOMPARE(list->maximumWidth(), 150);
    QCOMPARE(list->itemText(0), QStringLiteral("User Defined"));
}

void SettingsFormTest::presetListIcons()
{
    const QStringList sixIcons{"black", "purp", "red-bl", "red", "blue-bl", "blue"};
    const QStringList fourIcons{"black", "purp", "red", "blue"};
    ZORVIKMiniSetup window;
    int lists = 0;
    for (QComboBox* list : window.findChildren<QComboBox*>()) {
        const QString name = list->objectName();
        if (!name.endsWith(QLatin1String("ID")))
            continue;
        ++lists;
        const QStringList& icons = list->count() == 4 ? fourIcons : sixIcons;
        QCOMPARE(list->count(), icons.size());
        for (int i = 0; i < list->count(); ++i) {
            const QImage expected(IMAGES + icons[i] + QStringLiteral(".png"));
            QVERIFY2(!expected.isNull(), qPrintable(icons[i]));
            const QImage shown = list->itemIcon(i).pixmap(expected.size()).toImage();
            QVERIFY2(argb(shown) == argb(expected), qPrintable(name + " item " + QString::number(i)));
        }
    }
    QCOMPARE(lists, 10);
    QCOMPARE(window.findChild<QComboBox*>("m_cmbBoxTailServoCPPLID")->count(), 4);
    for (const char* name : {"m_cmbBoxSwashGeometry", "m_cmbBoxTorqueDir"}) {
        auto* list = window.findChild<QComboBox*>(name);
        for (int i = 0; i < list->count(); ++i)
            QVERIFY2(list->itemIcon(i).isNull(), name);
    }
}

void SettingsFormTest::imagesAndVisualizer()
{
    ZORVIKMiniSetup window;
    auto* side = window.findChild<QLabel*>("SideImage");
    QVERIFY(side);
    const QImage sideImage(IMAGES + QStringLiteral("TR6400QK.png"));
    QVERIFY(!sideImage.isNull());
    QCOMPARE(argb(side->pixmap().toImage()), argb(sideImage));
    QCOMPARE(side->styleSheet(), QStringLiteral("background-color: rgb(245, 171, 47);"));
    QVERIFY(!QImage(IMAGES + QStringLiteral("zorvik_48x48.png")).isNull());

    auto* plate = window.findChild<SwashPlate*>("m_SwashPlate");
    QVERIFY(plate);
    QCOMPARE(plate->parentWidget()->objectName(), QStringLiteral("frame"));
    QCOMPARE(plate->minimumSize(), QSize(150, 150));
    QCOMPARE(plate->maximumSize(), QSize(150, 150));

    // Until the first connection the phase angle shows no value (nothing was
    // read) but keeps the form's wrapping and unit, and the geometry list
    // the form's texts, none of them chosen.
    auto* phase = window.findChild<QSpinBox*>("m_spinBoxSwashVirtualRotation");
    QVERIFY(phase->wrapping());
    QCOMPARE(phase->suffix(), QStringLiteral(" °"));
    QVERIFY(phase->text().trimmed().isEmpty());
    auto* geometries = window.findChild<QComboBox*>("m_cmbBoxSwashGeometry");
    QCOMPARE(geometries->currentIndex(), -1);
    QStringList texts;
    for (int i = 0; i < geometries->count(); ++i)
        texts.append(geometries->itemText(i));
    QCOMPARE(texts, (QStringList{"Mechanic", "90 °", "120°", "125°", "140°", "140° (1=1)"}));

    auto* tabs = window.findChild<QTabWidget*>("m_tabControl");
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Setup Menu"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Parameter Menu"));
    QCOMPARE(tabs->currentIndex(), 0);
}

void SettingsFormTest::aboutBoxFromTheMenu()
{
    ZORVIKMiniSetup window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.findChild<QAction*>("action_About_ZORVIK_Micro_Settings")->trigger();

    QPointer<AboutBox> box = window.findChild<AboutBox*>();
    QVERIFY(box);
    QVERIFY(box->isVisible());
    QCOMPARE(box->windowModality(), Qt::WindowModal);
    QVERIFY(box->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(box->windowTitle(), QStringLiteral("About ZORVIK Micro Settings"));
    const QStringList values{"m_lblUpdaterVersion", "m_lblUpdaterDate", "m_lblZORVICommVersion",
                             "m_lblZORVICommDate"};
    QStringList shown;
    for (const QString& name : values)
        shown.append(box->findChild<QLabel*>(name)->text());
    QCOMPARE(shown, (QStringList{"3.0.2", "Aug 16 2012", "3.1.0", "Aug 16 2012"}));

    box->findChild<QPushButton*>("okButton")->click();
    QTRY_VERIFY(box.isNull());
}

QTEST_MAIN(SettingsFormTest)
#include "SettingsFormTest.moc"
