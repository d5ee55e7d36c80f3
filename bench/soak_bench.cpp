// Soak: plays every scripted movie of the corpus headless for many frames (scripts, sound
// mixed a frame at a time, a small picture drawn now and then) and reports the process's
// resident memory after the movie's first loop and at the end. Memory that keeps growing while
// a movie loops is a leak or an unbounded cache.
//
//   soak_bench [--frames N] [--draw-every K] [--filter TEXT] [CORPUS]
//
// Defaults: 100000 frames, a picture every 100 frames, the configured corpus.

#include "swf/avm1/scripting.h"
#include "swf/player.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/renderer.h"
#include "swf/sound/moviesound.h"
#include "swf/tags.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

long residentKiB() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

bool hasTag(std::span<const std::uint8_t> tags, std::initializer_list<std::uint16_t> codes,
            int depth = 0) {
    swf::TagReader reader(tags);
    swf::Tag tag;
    while (reader.next(tag)) {
        for (std::uint16_t c : codes)
            if (tag.code == c)
                return true;
        if (tag.code == swf::TagDefineSprite && !tag.overruns && tag.body.size() >= 4 &&
            depth < 4 && hasTag(tag.body.subspan(4), codes, depth + 1))
            return true;
    }
    return false;
}

// DoAction, DoInitAction, and buttons (whose records may hold actions).
bool scripted(const swf::Movie& movie) {
    const auto& file = movie.file;
    return hasTag(std::span(file.body).subspan(file.tagsOffset), {12, 59, 7, 34});
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    long frames = 100000;
    long drawEvery = 100;
    QString filter;
    QString corpus = QStringLiteral(REELWICK_CORPUS_DIR);
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--frames") && i + 1 < args.size())
            frames = args[++i].toLong();
        else if (args[i] == QLatin1String("--draw-every") && i + 1 < args.size())
            drawEvery = std::max(1L, args[++i].toLong());
        else if (args[i] == QLatin1String("--filter") && i + 1 < args.size())
            filter = args[++i];
        else
            corpus = args[i];
    }

    QStringList paths;
    QDirIterator it(corpus, {QStringLiteral("*.swf")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        if (filter.isEmpty() || p.contains(filter))
            paths << p;
    }
    paths.sort();

    std::printf("%-70s %8s %10s %10s %7s\n", "movie", "frames", "loop KiB", "end KiB", "growth");
    int played = 0, grew = 0;
    double worst = 0;
    for (const QString& path : paths) {
        auto loaded = swf::Movie::loadFile(path);
        if (!loaded || !scripted(**loaded))
            continue;
        std::shared_ptr<const swf::Movie> movie = *loaded;
        swf::Player player(movie);
        swf::avm1::Scripting scripting(player);
        scripting.hooks().trace = [](const QString&) {};
        scripting.hooks().warning = [](const QString&) {};
        scripting.hooks().notice = [](const QString&) {};
        std::shared_ptr<swf::sound::MovieSound> sound;
        if (swf::sound::MovieSound::hasSound(*movie)) {
            sound = std::make_shared<swf::sound::MovieSound>(movie);
            scripting.setSound(sound);
        }
        swf::render::Renderer renderer;
        QImage image(64, 48, QImage::Format_ARGB32_Premultiplied);
        const QTransform view =
            swf::render::stageTransform(movie->header().frameSize, QRectF(0, 0, 64, 48), 0);
        const double rate = movie->header().effectiveFrameRate();
        std::vector<std::int16_t> mix(std::size_t(2 * (44100 / rate + 2)));

        const long loop = std::max<long>(1, long(player.frameCount()));
        long afterLoop = -1;
        long done = 0;
        scripting.afterAdvance();
        for (; done < frames && !scripting.quitRequested(); ++done) {
            scripting.tick();
            if (sound) {
                sound->update(player);
                sound->render(mix.data(), mix.size() / 2);
            }
            if (done % drawEvery == 0) {
                QPainter painter(&image);
                swf::render::PainterCanvas canvas(painter);
                renderer.render(player, canvas, view);
            }
            if (done + 1 == loop)
                afterLoop = residentKiB();
        }
        const long end = residentKiB();
        if (afterLoop < 0)
            afterLoop = end;
        const double growth =
            afterLoop > 0 ? 100.0 * double(end - afterLoop) / double(afterLoop) : 0;
        worst = std::max(worst, growth);
        grew += growth > 10;
        ++played;
        std::printf("%-70s %8ld %10ld %10ld %6.1f%%\n",
                    qPrintable(path.mid(corpus.size() + 1).left(70)), done, afterLoop, end, growth);
        std::fflush(stdout);
    }
    std::printf(
        "%d scripted movies; %d grew by more than 10%% after their first loop; worst %.1f%%\n",
        played, grew, worst);
    return 0;
}
