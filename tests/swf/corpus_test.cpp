// Every movie of the shared corpus loads, plays a few frames, and agrees with the manifest.

#include "swf/player.h"
#include "swf/tags.h"
#include "testenv.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

struct Row {
    QString path, signature, version, frames, fps, stage, tags;
};

std::vector<Row> readManifest() {
    std::vector<Row> rows;
    QFile f(testenv::corpusPath(QStringLiteral("manifest.tsv")));
    if (!f.open(QIODevice::ReadOnly))
        return rows;
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList c = lines[i].split('\t');
        if (c.size() < 14)
            continue;
        rows.push_back({c[0], c[5], c[6], c[7], c[8], c[9], c[13]});
    }
    return rows;
}

// The tag codes as stored, a sprite's own tags in braces after its 39.
void listTags(std::span<const std::uint8_t> data, QStringList& out) {
    swf::TagReader reader(data);
    swf::Tag tag;
    while (reader.next(tag)) {
        out << QString::number(tag.code);
        if (tag.code == swf::TagDefineSprite && !tag.overruns && tag.body.size() >= 4) {
            out << QStringLiteral("{");
            listTags(tag.body.subspan(4), out);
            out << QStringLiteral("}");
        }
    }
}

QString signatureOf(swf::Compression c) {
    switch (c) {
    case swf::Compression::None:
        return "FWS";
    case swf::Compression::Zlib:
        return "CWS";
    case swf::Compression::Lzma:
        return "ZWS";
    }
    return {};
}

TEST(Corpus, EveryMovieMatchesTheManifest) {
    REELWICK_NEED_CORPUS();
    const auto rows = readManifest();
    ASSERT_GT(rows.size(), 200u) << "manifest not readable in "
                                 << testenv::corpusDir().toStdString();
    int played = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path.toStdString());
        const QString path = testenv::corpusPath(row.path);
        auto movie = swf::Movie::loadFile(path);
        if (row.tags == "UNREADABLE") {
            EXPECT_FALSE(movie.ok());
            EXPECT_EQ(movie.error().message.rfind("Invalid movie: ", 0), 0u);
            continue;
        }
        ASSERT_TRUE(movie.ok()) << movie.error().message;
        const swf::Movie& m = **movie;
        EXPECT_EQ(signatureOf(m.header().compression), row.signature);
        EXPECT_EQ(QString::number(m.version()), row.version);
        EXPECT_EQ(QString::number(m.header().frameCount), row.frames);
        EXPECT_NEAR(m.header().frameRate, row.fps.toDouble(), 0.01);
        const QStringList stage = row.stage.split('x');
        ASSERT_EQ(stage.size(), 2);
        EXPECT_NEAR(m.header().frameSize.width() / 20.0, stage[0].toDouble(), 0.05);
        EXPECT_NEAR(m.header().frameSize.height() / 20.0, stage[1].toDouble(), 0.05);

        std::span<const std::uint8_t> body(m.file.body);
        QStringList codes;
        listTags(body.subspan(m.file.tagsOffset), codes);
        EXPECT_EQ(codes.join(' ').replace("{ ", "{").replace(" }", "}"), row.tags);

        EXPECT_GE(m.frameCount(), 1u);
        swf::Player player(*movie);
        for (int i = 0; i < 5; ++i)
            player.advance();
        player.gotoFrame(0);
        ++played;
    }
    EXPECT_GT(played, 200);
}

} // namespace
