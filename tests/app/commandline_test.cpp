#include "app/commandline.h"

#include <gtest/gtest.h>

namespace {
const QString kCwd = QStringLiteral("/home/user/movies");
}

TEST(CommandLine, MoviePathsFromTheShellAndFileManagers) {
    const auto cl = CommandLine::parse(
        {QStringLiteral("\"/m/quoted path.swf\""), QStringLiteral("/m/bare.swf"),
         QStringLiteral("rel/dir/../a.swf"), QStringLiteral("http://example.org/x.swf"),
         QStringLiteral("file:///m/y.swf"), QStringLiteral("\"\""), QStringLiteral("")},
        kCwd);
    ASSERT_EQ(cl.action, CommandLine::Action::Run);
    EXPECT_EQ(cl.moviePaths,
              QStringList({QStringLiteral("/m/quoted path.swf"), QStringLiteral("/m/bare.swf"),
                           QStringLiteral("/home/user/movies/rel/a.swf"),
                           QStringLiteral("http://example.org/x.swf"),
                           QStringLiteral("file:///m/y.swf")}));
}

TEST(CommandLine, QuotesAreRemovedOnlyAsAPair) {
    EXPECT_EQ(moviePathFromArgument(QStringLiteral("\"/a.swf"), kCwd),
              QStringLiteral("/home/user/movies/\"/a.swf"));
    EXPECT_EQ(moviePathFromArgument(QStringLiteral("/a.swf\""), kCwd), QStringLiteral("/a.swf\""));
    EXPECT_EQ(moviePathFromArgument(QStringLiteral("\"\"/a.swf\"\""), kCwd),
              QStringLiteral("/home/user/movies/\"/a.swf\""));
    EXPECT_EQ(moviePathFromArgument(QStringLiteral("\""), kCwd),
              QStringLiteral("/home/user/movies/\""));
    // A path is kept as written, not resolved through links.
    EXPECT_EQ(moviePathFromArgument(QStringLiteral("./电影/动画.swf"), kCwd),
              QStringLiteral("/home/user/movies/电影/动画.swf"));
}

TEST(CommandLine, Options) {
    EXPECT_EQ(CommandLine::parse({QStringLiteral("--help")}, kCwd).action,
              CommandLine::Action::Help);
    EXPECT_EQ(
        CommandLine::parse({QStringLiteral("/a.swf"), QStringLiteral("--version")}, kCwd).action,
        CommandLine::Action::Version);
    const auto bad = CommandLine::parse({QStringLiteral("--frobnicate")}, kCwd);
    EXPECT_EQ(bad.action, CommandLine::Action::Error);
    EXPECT_TRUE(bad.error.contains(QStringLiteral("--frobnicate")));

    const auto ended = CommandLine::parse(
        {QStringLiteral("--"), QStringLiteral("--help"), QStringLiteral("-x.swf")}, kCwd);
    EXPECT_EQ(ended.action, CommandLine::Action::Run);
    EXPECT_EQ(ended.moviePaths, QStringList({QStringLiteral("/home/user/movies/--help"),
                                             QStringLiteral("/home/user/movies/-x.swf")}));
}

// What the window system would take for itself is set aside before --help and bad options are
// answered, so that neither needs a display; movie paths and our own options stay.
TEST(CommandLine, WindowSystemOptionsAreSetAside) {
    const QStringList args = {"-platform",  "xcb",   "--style=fusion", "-reverse", "a.swf",
                              "--geometry", "10x10", "--help",         "--",       "-style"};
    EXPECT_EQ(CommandLine::withoutToolkitOptions(args),
              (QStringList{"a.swf", "--help", "--", "-style"}));
    EXPECT_EQ(
        CommandLine::parse(CommandLine::withoutToolkitOptions({"-style", "fusion", "--x"}), "/d")
            .action,
        CommandLine::Action::Error);
    EXPECT_EQ(
        CommandLine::parse(CommandLine::withoutToolkitOptions({"-platform", "xcb", "m.swf"}), "/d")
            .moviePaths,
        QStringList{"/d/m.swf"});
}
