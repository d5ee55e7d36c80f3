// Start-up time to the first frame shown: the Reelwick window with a movie against a bare Qt
// window, each in a fresh process, alternating, on the current display.
//
// Usage: startup_bench [RUNS] [MOVIE]
// The same binary runs the children: startup_bench --child bare|reelwick MOVIE.

#include "app/form1.h"
#include "common/fonts.h"
#include "playback/flashcontrol.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Quits as soon as the watched widget has finished its first paint.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(QWidget* w) { w->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QTimer::singleShot(0, [] {
                std::printf("shown\n");
                std::fflush(stdout);
                QApplication::exit(0);
            });
        }
        return false;
    }

private:
    bool m_seen = false;
};

int child(int argc, char* argv[], const char* kind, const QString& movie) {
    QApplication app(argc, argv);
    if (std::strcmp(kind, "bare") == 0) {
        QWidget w;
        w.resize(800, 600);
        FirstPaint watch(&w);
        w.show();
        return QApplication::exec();
    }
    installFontSubstitutions();
    Form1 window;
    auto* control = window.findChild<FlashControl*>();
    if (!control)
        return 3;
    FirstPaint watch(control);
    window.Form_Load({movie});
    window.show();
    return QApplication::exec();
}

double runOnce(const QString& self, const QString& kind, const QString& movie) {
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(self, {QStringLiteral("--child"), kind, movie});
    while (p.waitForReadyRead(10000)) {
        if (p.readAll().contains("shown"))
            break;
    }
    const double ms = double(t.nsecsElapsed()) / 1e6;
    p.waitForFinished(10000);
    return ms;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc >= 4 && std::strcmp(argv[1], "--child") == 0)
        return child(argc, argv, argv[2], QString::fromLocal8Bit(argv[3]));
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    const QString movie = argc > 2 ? QString::fromLocal8Bit(argv[2])
                                   : QStringLiteral(REELWICK_SOURCE_DIR "/resources/demo.swf");
    const QString self = QCoreApplication::applicationFilePath();
    std::vector<double> bare, reelwick;
    runOnce(self, QStringLiteral("bare"), movie); // warm the file cache
    runOnce(self, QStringLiteral("reelwick"), movie);
    for (int i = 0; i < runs; ++i) {
        bare.push_back(runOnce(self, QStringLiteral("bare"), movie));
        reelwick.push_back(runOnce(self, QStringLiteral("reelwick"), movie));
    }
    const double b = median(bare), r = median(reelwick);
    std::printf("median over %d runs: bare Qt window %.1f ms, Reelwick first frame %.1f ms "
                "(%.2f x)\n",
                runs, b, r, r / b);
    return 0;
}
