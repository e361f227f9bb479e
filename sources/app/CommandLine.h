// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <vector>

class QObject;

// The player's options and what one argument list makes of them. Every option is
// one row of options(): its forms, its help line, the launch parameter it sets and
// the check of its value. Needs no application object, so that main() can answer
// before the GUI (and its display) exists.
//
// A value option takes its value after "=" (--port=80) or from the next argument
// (--port 80, -p 80). The next argument is not taken when it is itself an option:
// "-h" with nothing usable after it asks for the usage text, any other option
// without its value is an error.
class CommandLine {
public:
    // Turns the value as given into the value kept. Sets `error` (a few words on
    // what is wrong with it) to refuse it.
    using Check = QString (*)(const QString& value, QString* error);

    struct Option {
        const char* name; // the long form, without "--"
        char shortName; // 0 when there is none
        const char* valueName; // nullptr for a flag
        const char* help;
        const char* property; // the launch parameter it sets, nullptr for none
        Check check; // nullptr takes any value
    };
    static const std::vector<Option>& options();

    enum Outcome { Run, Help, Version, Error };

    // `arguments` starts with the program, as the process gets them.
    static CommandLine parse(const QStringList& arguments);

    Outcome outcome() const { return m_outcome; }
    // For Error: one line naming the argument, "player: ..." (no line feed).
    QString error() const { return m_error; }

    bool isSet(const QString& name) const { return m_values.contains(name); }
    // The kept value of a value option ("" when not given); "1" for a given flag.
    QString value(const QString& name) const { return m_values.value(name); }
    bool verbose() const { return isSet(QStringLiteral("verbose")); }

    // Writes the launch parameters on `target` (the application object): each given
    // option's value under its property name, and bDebug, true or false.
    void apply(QObject* target) const;

    static QString usage();
    static QString versionLine();
    // For anything but Run: writes the usage, the version or the error and returns
    // the exit status (0, or 2 for an error).
    int answer() const;

private:
    Outcome m_outcome = Run;
    QString m_error;
    QMap<QString, QString> m_values;
};
