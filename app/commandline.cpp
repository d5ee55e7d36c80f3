#include "app/commandline.h"

#include "common/captions.h"

#include <QDir>
#include <QRegularExpression>

QString moviePathFromArgument(const QString& argument, const QString& currentDir) {
    QString path = argument;
    if (path.size() >= 2 && path.startsWith(u'"') && path.endsWith(u'"'))
        path = path.mid(1, path.size() - 2);
    if (path.isEmpty())
        return {};
    static const QRegularExpression url(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    if (url.match(path).hasMatch() || QDir::isAbsolutePath(path))
        return path;
    // Absolute but not canonical: the entry shows the path the way the user wrote it.
    return QDir::cleanPath(QDir(currentDir).absoluteFilePath(path));
}

CommandLine CommandLine::parse(const QStringList& arguments, const QString& currentDir) {
    CommandLine cl;
    bool optionsEnded = false;
    for (const QString& arg : arguments) {
        if (!optionsEnded && arg.startsWith(u'-') && arg.size() > 1) {
            if (arg == QLatin1String("--")) {
                optionsEnded = true;
            } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
                cl.action = Action::Help;
                return cl;
            } else if (arg == QLatin1String("--version")) {
                cl.action = Action::Version;
                return cl;
            } else {
                cl.action = Action::Error;
                cl.error = QStringLiteral("unknown option %1").arg(arg);
                return cl;
            }
            continue;
        }
        const QString path = moviePathFromArgument(arg, currentDir);
        if (!path.isEmpty())
            cl.moviePaths.append(path);
    }
    return cl;
}

QString CommandLine::usage() {
    return QStringLiteral("Usage: reelwick [OPTION]... [MOVIE]...\n"
                          "Play Flash movies (.swf). Each MOVIE is added to the playlist; the "
                          "first is shown.\n\n"
                          "  --help       show this help and exit\n"
                          "  --version    show the version and exit\n"
                          "  --           treat every later argument as a movie path\n");
}

QStringList CommandLine::withoutToolkitOptions(const QStringList& arguments) {
    static const QStringList withValue = {"platform",
                                          "platformpluginpath",
                                          "platformtheme",
                                          "plugin",
                                          "qwindowgeometry",
                                          "qwindowicon",
                                          "qwindowtitle",
                                          "qmljsdebugger",
                                          "style",
                                          "stylesheet",
                                          "session",
                                          "display",
                                          "geometry",
                                          "name",
                                          "title",
                                          "visual",
                                          "ncols",
                                          "fn",
                                          "font",
                                          "bg",
                                          "background",
                                          "fg",
                                          "foreground",
                                          "btn",
                                          "button",
                                          "im",
                                          "inputstyle"};
    static const QStringList alone = {"reverse", "widgetcount", "sync",       "nograb",
                                      "dograb",  "cmap",        "testability"};
    QStringList out;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--")) {
            out += arguments.mid(i);
            break;
        }
        QString name = arg;
        if (name.startsWith(QLatin1String("--")))
            name.remove(0, 2);
        else if (name.startsWith(u'-'))
            name.remove(0, 1);
        else {
            out += arg;
            continue;
        }
        const qsizetype eq = name.indexOf(u'=');
        const QString key = eq < 0 ? name : name.left(eq);
        if (withValue.contains(key)) {
            if (eq < 0)
                ++i; // its value
            continue;
        }
        if (alone.contains(key))
            continue;
        out += arg;
    }
    return out;
}
