// The information dialog's rows: units, the header's own figures where the file disagrees,
// and "none" where a movie has no sound, video, fonts or scripts.

#include "playback/movieinfodialog.h"

#include <gtest/gtest.h>

namespace {
QString row(const QList<QPair<QString, QString>>& rows, const char* caption) {
    for (const auto& [c, text] : rows) {
        if (c == QString::fromUtf8(caption))
            return text;
    }
    return QStringLiteral("<missing>");
}
} // namespace

TEST(MovieInfoDialog, RowsSayWhatThePlayerSeesAndWhatTheFileClaims) {
    swf::MovieInfo info;
    info.path = QStringLiteral("/m/a.swf");
    info.fileBytes = 17266;
    info.compression = swf::Compression::Lzma;
    info.version = 4;
    info.stageWidth = 320;
    info.stageHeight = 200;
    info.frameRate = 0;
    info.playRate = 12;
    info.declaredFrames = 6000;
    info.frames = 78;
    info.seconds = 78 / 12.0;
    info.script = swf::ScriptLanguage::ActionScript12;
    info.sounds = {{false, 2, 11025, false, 4}, {true, 2, 44100, true, 1}};
    info.videos = {{swf::VideoVp6, 600, 400, 5}};
    info.fonts = {QStringLiteral("Arial"), QStringLiteral("Verdana Bold")};
    info.unnamedFonts = 2;
    const auto rows = movieInfoRows(info);
    EXPECT_EQ(row(rows, "文件"), "/m/a.swf");
    EXPECT_EQ(row(rows, "文件大小"), QStringLiteral("16.9 kB（17,266 字节）"));
    EXPECT_EQ(row(rows, "压缩"), "LZMA");
    EXPECT_EQ(row(rows, "舞台大小"), QStringLiteral("320 × 200 像素"));
    EXPECT_EQ(row(rows, "帧频"), QStringLiteral("0 帧/秒（按 12 帧/秒播放）"));
    EXPECT_EQ(row(rows, "帧数"), QStringLiteral("78（文件头写明 6000）"));
    EXPECT_EQ(row(rows, "播放时间"), "0:06.5");
    EXPECT_EQ(row(rows, "脚本语言"), "ActionScript 1/2");
    EXPECT_EQ(
        row(rows, "声音"),
        QStringLiteral("MP3，11.025 kHz，单声道，事件声音 4 个\nMP3，44.1 kHz，立体声，流式声音"));
    EXPECT_EQ(row(rows, "视频"), QStringLiteral("On2 VP6，600 × 400，5 帧"));
    EXPECT_EQ(row(rows, "字体"), QStringLiteral("Arial、Verdana Bold；2 个未命名字体"));

    swf::MovieInfo bare;
    bare.fileBytes = 100;
    bare.frames = bare.declaredFrames = 1;
    bare.frameRate = bare.playRate = 24;
    bare.seconds = 1 / 24.0;
    const auto plain = movieInfoRows(bare);
    EXPECT_EQ(row(plain, "文件大小"), QStringLiteral("100 字节"));
    EXPECT_EQ(row(plain, "压缩"), QStringLiteral("无"));
    EXPECT_EQ(row(plain, "帧数"), "1");
    EXPECT_EQ(row(plain, "帧频"), QStringLiteral("24 帧/秒"));
    EXPECT_EQ(row(plain, "脚本语言"), QStringLiteral("无"));
    for (const char* none : {"声音", "视频", "字体"})
        EXPECT_EQ(row(plain, none), QStringLiteral("无")) << none;
    EXPECT_EQ(row(plain, "播放时间"), "0:00.0");
}
