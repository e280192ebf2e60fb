#pragma once

#include <QString>

#include <string>

// Text from outside the program (a file's name or content, the device, a
// port's name) as a window shows it: every control character escaped as
// ControlText escapes it on the terminal, so that a label or a box shows
// what the text holds without it acting on the layout.
class ShownText {
public:
    static QString of(const std::string& utf8);
    static QString of(const QString& text);
};
