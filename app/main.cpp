#include "app/captions.h"
#include "app/commandline.h"
#include "app/fonts.h"
#include "app/form1.h"

#include <QApplication>
#include <QDir>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("reelwick"));
    QApplication::setApplicationVersion(QStringLiteral("1.1"));

    const CommandLine cl =
        CommandLine::parse(QApplication::arguments().mid(1), QDir::currentPath());
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

    installFontSubstitutions();
    Form1 window;
    window.Form_Load(cl.moviePaths);
    window.show();
    return QApplication::exec();
}
