// The playlist at its sizes of concern: Open adding 1,000 files to a list of 30,000, and the
// horizontal-extent update over a full list of 32,767 entries.
#include "fakes/fakemoviecontrol.h"
#include "fakes/fakeopendialog.h"
#include "playlist/playlistbox.h"
#include "playlist/playlistcommands.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

class QuietWindow : public PlaylistWindow {
public:
    void setCaption(const QString&) override {}
    void popupListMenu(const QPoint&) override {}
};

// Paths of one length with a long common beginning: the hardest case for comparing texts.
QStringList paths(const QString& folder, const QString& stem, int n) {
    QStringList out;
    out.reserve(n);
    for (int i = 0; i < n; ++i)
        out << QStringLiteral("%1/%2-%3.swf").arg(folder, stem).arg(i, 5, 10, QLatin1Char('0'));
    return out;
}

struct OpenRig {
    QTemporaryDir dir;
    PlaylistBox list;
    FakeMovieControl control;
    QuietWindow window;
    FakeOpenDialog dialog;
    PlaylistCommands commands{window, list, control, dialog};
    QStringList chosen;

    explicit OpenRig(bool shown) {
        list.resize(178, 448);
        list.addItems(paths(dir.path(), QStringLiteral("listed-movie"), 30000));
        updateHorizontalExtent(list); // as start-up leaves it
        if (shown) {
            list.show();
            QApplication::processEvents();
        }
        for (const QString& p : paths(QString(), QStringLiteral("new-movie"), 1000))
            chosen << p.mid(1);
    }
    void resetToThirtyThousand() {
        while (list.count() > 30000)
            delete list.takeItem(list.count() - 1);
        control.calls.clear();
        dialog.choose(dir.path(), chosen);
    }
};

void openThousandIntoThirtyThousand(benchmark::State& state) {
    const bool shown = state.range(0) != 0;
    OpenRig rig(shown);
    for (auto _ : state) {
        state.PauseTiming();
        rig.resetToThirtyThousand();
        if (shown)
            QApplication::processEvents();
        state.ResumeTiming();
        rig.commands.cmdopen_Click();
        // On screen, the list lays itself out again before the user sees the result.
        if (shown)
            QApplication::processEvents();
    }
    if (rig.list.count() != 31000)
        state.SkipWithError("the files were not added");
}
BENCHMARK(openThousandIntoThirtyThousand)
    ->ArgName("shown")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

void extentUpdateOverFullList(benchmark::State& state) {
    const bool measured = state.range(0) != 0;
    const bool chinese = state.range(1) != 0;
    PlaylistBox list;
    list.addItems(
        paths(chinese ? QStringLiteral("/home/用户/动画") : QStringLiteral("/home/user/movies"),
              chinese ? QStringLiteral("飞翔的小鸟") : QStringLiteral("movie"),
              PlaylistBox::kMaxEntries));
    QFont fonts[2] = {list.font(), list.font()};
    fonts[1].setPointSizeF(fonts[0].pointSizeF() + 0.5);
    int n = 0;
    if (measured)
        updateHorizontalExtent(list);
    for (auto _ : state) {
        if (!measured) {
            // A font change forgets every width.
            state.PauseTiming();
            list.setFont(fonts[++n % 2]);
            state.ResumeTiming();
        }
        updateHorizontalExtent(list);
        benchmark::DoNotOptimize(list.horizontalExtent());
    }
}
BENCHMARK(extentUpdateOverFullList)
    ->ArgNames({"widths_known", "chinese"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
