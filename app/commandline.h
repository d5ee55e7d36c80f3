#pragma once

#include <QString>
#include <QStringList>

// What the program was asked to do on its command line.
struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    QStringList moviePaths; // in the order given
    QString error;          // for Action::Error

    // `arguments` excludes the program's own name. `currentDir` makes relative paths absolute.
    static CommandLine parse(const QStringList& arguments, const QString& currentDir);
    static QString usage();
    // The arguments without those the window system takes for itself (-platform NAME, -style
    // NAME, -reverse...), so that the program can answer --help or a bad option before it
    // starts the window system, where those would be taken away.
    static QStringList withoutToolkitOptions(const QStringList& arguments);
};

// One argument as a movie path: a single pair of surrounding double quotes is removed, a URL
// (scheme://…) is kept as it is, a relative path is made absolute. Empty when nothing is left.
QString moviePathFromArgument(const QString& argument, const QString& currentDir);
