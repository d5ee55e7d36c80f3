#pragma once

#include "playback/moviecontrol.h"

#include <QStringList>
#include <QWidget>

// Stands in for the movie surface: records every call in order, as "Name" or "Name(arg)",
// and keeps just enough state (frame, movie) for the window's reads to be realistic.
class FakeMovieControl : public QWidget, public MovieControl {
public:
    QStringList calls;
    QString movie;
    qint32 frame = 0;
    qint32 scaleMode = 0;

    void Movie(const QString& path) override {
        calls << QStringLiteral("Movie(%1)").arg(path);
        movie = path;
        frame = 0;
    }
    qint32 FrameNum() const override {
        const_cast<FakeMovieControl*>(this)->calls << QStringLiteral("FrameNum");
        return frame;
    }
    void FrameNum(qint32 f) override {
        calls << QStringLiteral("FrameNum(%1)").arg(f);
        frame = f; // unclamped on purpose: tests see exactly what the window asked for
    }
    void Play() override { calls << QStringLiteral("Play"); }
    void Stop() override { calls << QStringLiteral("Stop"); }
    void Back() override { calls << QStringLiteral("Back"); }
    void Forward() override { calls << QStringLiteral("Forward"); }
    void Rewind() override { calls << QStringLiteral("Rewind"); }
    void StopPlay() override { calls << QStringLiteral("StopPlay"); }
    void ScaleMode(qint32 mode) override {
        calls << QStringLiteral("ScaleMode(%1)").arg(mode);
        scaleMode = mode;
    }
    QWidget* widget() override { return this; }

    // The Movie(...) calls only, which is what most window tests care about.
    QStringList moviesLoaded() const {
        QStringList out;
        for (const QString& c : calls)
            if (c.startsWith(QLatin1String("Movie(")))
                out << c.mid(6, c.size() - 7);
        return out;
    }
};
