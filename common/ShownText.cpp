#include "ShownText.h"

#include "ControlText.h"

QString ShownText::of(const std::string& utf8)
{
    return QString::fromStdString(ZORVI::ControlText::escaped(utf8));
}

QString ShownText::of(const QString& text)
{
    return of(text.toStdString());
}
