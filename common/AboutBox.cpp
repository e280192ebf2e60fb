#include "AboutBox.h"

#include "ui_AboutBox.h"

#include "Control.h"

#include <QCoreApplication>
#include <QLayout>
#include <QSize>

namespace {

// What tells the two programs' boxes apart. The texts are translation
// sources in the form's context.
struct ProgramTexts {
    const char* windowTitle;
    const char* name;
    const char* versionCaption;
    const char* imagePath;
    QSize size;
};

const ProgramTexts SETTINGS_TEXTS = {
    QT_TRANSLATE_NOOP("AboutBoxClass", "About ZORVIK Micro Settings"),
    QT_TRANSLATE_NOOP("AboutBoxClass", "TR6400QK Micro Settings"),
    QT_TRANSLATE_NOOP("AboutBoxClass", "TR6400QK Micro Settings Version:"),
    ":/Images/Resources/zorvik_48x48.png",
    QSize(408, 247),
};

const ProgramTexts UPDATER_TEXTS = {
    QT_TRANSLATE_NOOP("AboutBoxClass", "About ZORVIK Updater"),
    QT_TRANSLATE_NOOP("AboutBoxClass", "ZORVIK Updater"),
    QT_TRANSLATE_NOOP("AboutBoxClass", "ZORVIK Updater Version:"),
    ":/Images/zorvik_48x48.png",
    QSize(368, 247),
};

QString translated(const char* sourceText)
{
    return QCoreApplication::translate("AboutBoxClass", sourceText);
}

} // namespace

AboutBox::Versions AboutBox::versionsOf(const QString& programVersion,
                                        const QString& programDate)
{
    Versions versions;
    char libraryDate[LIBRARY_DATE_BUFFER_SIZE] = {};
    ZORVI::Control::libraryInfo(libraryDate, LIBRARY_DATE_BUFFER_SIZE, &versions.libraryMajor,
                                &versions.libraryMinor, &versions.libraryPatch);
    versions.libraryDate = QString::fromLatin1(libraryDate);
    versions.programVersion = programVersion;
    versions.programDate = programDate;
    return versions;
}

AboutBox::AboutBox(Program program, const Versions& versions, QWidget* parent,
                   Qt::WindowFlags flags)
    : QDialog(parent, flags)
    , m_ui(new Ui::AboutBoxClass)
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    const QSize designedSize = showProgram(program);
    showVersions(versions);
    resizeToFit(designedSize);
}

AboutBox::~AboutBox() = default;

QSize AboutBox::showProgram(Program program)
{
    const ProgramTexts& texts = program == Program::Settings ? SETTINGS_TEXTS : UPDATER_TEXTS;
    setWindowTitle(translated(texts.windowTitle));
    m_ui->label->setText(translated(texts.name));
    m_ui->label_6->setText(translated(texts.versionCaption));
    m_ui->label_2->setImageFile(QString::fromLatin1(texts.imagePath));
    return texts.size;
}

void AboutBox::showVersions(const Versions& versions)
{
    m_ui->m_lblUpdaterVersion->setText(versions.programVersion);
    m_ui->m_lblUpdaterDate->setText(versions.programDate);
    m_ui->m_lblZORVICommVersion->setText(QStringLiteral("%1.%2.%3")
                                             .arg(QString::number(versions.libraryMajor),
                                                  QString::number(versions.libraryMinor),
                                                  QString::number(versions.libraryPatch)));
    m_ui->m_lblZORVICommDate->setText(versions.libraryDate);
}

// The box was laid out for the small dialog font of the programs' home
// platform; where the fonts are larger it grows just enough for every text,
// the word-wrapped licence note included, to be read in full.
void AboutBox::resizeToFit(QSize designedSize)
{
    ensurePolished();
    QSize size = designedSize.expandedTo(minimumSizeHint());
    if (layout()->hasHeightForWidth())
        size.setHeight(qMax(size.height(), layout()->totalHeightForWidth(size.width())));
    resize(size);
}
