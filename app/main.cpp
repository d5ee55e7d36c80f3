#include "app/commandline.h"
#include "app/form1.h"
#include "common/captions.h"
#include "common/fonts.h"
#include "playback/exporter.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <cstdio>
#include <cstring>

namespace {

// --export draws frames to files; it needs fonts but never a display, so it runs offscreen.
int runExport(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QString error;
    const auto request = parseExportArguments(QGuiApplication::arguments().mid(2), &error);
    if (!request) {
        std::fprintf(stderr, "reelwick: %s\n%s", qUtf8Printable(error),
                     qUtf8Printable(exportUsage()));
        return 2;
    }
    installFontSubstitutions();
    if (!exportFrames(*request, &error)) {
        std::fprintf(stderr, "reelwick: %s\n", qUtf8Printable(error));
        return 1;
    }
    return 0;
}

// --help, --version and bad options are answered before the window system starts: they work
// on a terminal with no display.
int answerWithoutWindow(const CommandLine& cl) {
    switch (cl.action) {
    case CommandLine::Action::Help:
        std::fputs(qUtf8Printable(CommandLine::usage()), stdout);
        return 0;
    case CommandLine::Action::Version:
        std::printf("%s\n", qUtf8Printable(kVersionText));
        return 0;
    case CommandLine::Action::Error:
        std::fprintf(stderr, "reelwick: %s\n%s", qUtf8Printable(cl.error),
                     qUtf8Printable(CommandLine::usage()));
        return 2;
    case CommandLine::Action::Run:
        break;
    }
    return -1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc > 1 && std::strcmp(argv[1], "--export") == 0)
        return runExport(argc, argv);
    QStringList raw;
    for (int i = 1; i < argc; ++i)
        raw += QString::fromLocal8Bit(argv[i]);
    if (const int status = answerWithoutWindow(
            CommandLine::parse(CommandLine::withoutToolkitOptions(raw), QDir::currentPath()));
        status >= 0)
        return status;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("reelwick"));
    QApplication::setApplicationVersion(QStringLiteral("1.1"));
    const CommandLine cl =
        CommandLine::parse(QApplication::arguments().mid(1), QDir::currentPath());
    if (const int status = answerWithoutWindow(cl); status >= 0)
        return status;

    installFontSubstitutions();
    Form1 window;
    window.Form_Load(cl.moviePaths);
    window.show();
    return QApplication::exec();
}
