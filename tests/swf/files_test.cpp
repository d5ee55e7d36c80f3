// The file rule (what a movie may read) and the SharedObject store (the one thing it writes).

#include "swf/files.h"
#include "swf/sharedobject.h"
#include "swf/sound/mp3file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using swf::files::FileRule;
namespace so = swf::sharedobject;

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// outside/secret.txt beside game/, which holds the movie, data files and a sub-folder.
struct Folders {
    QTemporaryDir tmp;
    QString game, outside;
    Folders() {
        game = tmp.path() + "/game";
        outside = tmp.path() + "/outside";
        writeFile(game + "/menu.swf", "FWS");
        writeFile(game + "/vars.txt", "a=1");
        writeFile(game + "/levels/one.xml", "<l/>");
        writeFile(game + "/with space.txt", "s");
        writeFile(outside + "/secret.txt", "secret");
    }
    FileRule rule() const { return FileRule(game + "/menu.swf"); }
};

TEST(FileRule, ReadsFilesInTheMovieFolderAndBelow) {
    Folders f;
    const FileRule rule = f.rule();
    EXPECT_EQ(rule.read("vars.txt").value(), "a=1");
    EXPECT_EQ(rule.read("levels/one.xml").value(), "<l/>");
    EXPECT_EQ(rule.read("levels\\one.xml").value(), "<l/>");     // written on Windows
    EXPECT_EQ(rule.read("./levels/../vars.txt").value(), "a=1"); // `..` that stays inside
    EXPECT_EQ(rule.read("vars.txt?nocache=12#x").value(), "a=1");
    EXPECT_EQ(rule.read("with%20space.txt").value(), "s");
    EXPECT_EQ(rule.read(f.game + "/vars.txt").value(), "a=1");
    EXPECT_EQ(rule.read(QUrl::fromLocalFile(f.game + "/vars.txt").toString()).value(), "a=1");
    EXPECT_EQ(rule.movieUrl(), QUrl::fromLocalFile(f.game + "/menu.swf").toString());

    // A movie loaded from the sub-folder resolves against its own address, within the same
    // limit.
    const FileRule child = rule.forMovie(f.game + "/levels/part2.swf");
    EXPECT_EQ(child.read("one.xml").value(), "<l/>");
    EXPECT_EQ(child.read("../vars.txt").value(), "a=1");
    EXPECT_FALSE(child.read("../../outside/secret.txt"));
}

TEST(FileRule, RefusesEverythingOutsideWithAReason) {
    Folders f;
    ASSERT_EQ(::symlink(qPrintable(f.outside + "/secret.txt"), qPrintable(f.game + "/link.txt")),
              0);
    ASSERT_EQ(::symlink(qPrintable(f.outside), qPrintable(f.game + "/linkdir")), 0);
    ASSERT_EQ(::mkfifo(qPrintable(f.game + "/pipe"), 0600), 0);
    const FileRule rule = f.rule();
    const std::pair<QString, std::string> refused[] = {
        {"../outside/secret.txt", "outside"},
        {"levels/../../outside/secret.txt", "outside"},
        {f.outside + "/secret.txt", "outside"},
        {QUrl::fromLocalFile(f.outside + "/secret.txt").toString(), "outside"},
        {"/etc/passwd", "outside"},
        {"C:\\data\\vars.txt", "outside"},
        {"link.txt", "link"},
        {"linkdir/secret.txt", "link"},
        {"levels", "folder"},
        {"pipe", "not a file"},
        {"/dev/zero", "outside"},
        {"missing.txt", "no such file"},
        {"http://example.com/vars.txt", "network"},
        {"HTTPS://example.com/a.swf", "network"},
        {"javascript:alert(1)", "only files"},
        {"file://otherhost/x", "not a local file"},
        {"", "empty"},
    };
    for (const auto& [url, why] : refused) {
        const auto r = rule.read(url);
        ASSERT_FALSE(r) << url.toStdString();
        EXPECT_NE(r.error().message.find(why), std::string::npos)
            << url.toStdString() << ": " << r.error().message;
    }
    EXPECT_FALSE(FileRule().read("vars.txt")); // a movie without a folder reads nothing
}

TEST(FileRule, RefusesSocketsAndFilesOverTheCap) {
    Folders f;
    const QString sockPath = f.game + "/sock";
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(sockPath);
    ASSERT_LT(std::size_t(native.size()), sizeof(addr.sun_path));
    std::memcpy(addr.sun_path, native.constData(), std::size_t(native.size()));
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    const auto r = f.rule().read("sock");
    ::close(s);
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().message.find("not a file"), std::string::npos);

    // A sparse file one byte over the cap costs no disk.
    QFile big(f.game + "/big.bin");
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(swf::files::kMaxFileSize + 1));
    big.close();
    const auto b = f.rule().read("big.bin");
    ASSERT_FALSE(b);
    EXPECT_NE(b.error().message.find("64 MiB"), std::string::npos);
}

TEST(FileRule, TextIsUtf8OrGb18030) {
    const QByteArray utf8 = QString::fromUtf8("名字=值").toUtf8();
    const QByteArray gb = QByteArray::fromHex("c3fbd7d63dd6b5"); // 名字=值 in GB18030
    EXPECT_EQ(swf::files::decodeText(utf8, false, false), QString::fromUtf8("名字=值"));
    EXPECT_EQ(swf::files::decodeText("\xEF\xBB\xBF" + utf8, false, false),
              QString::fromUtf8("名字=值"));
    EXPECT_EQ(swf::files::decodeText(gb, true, false), QString::fromUtf8("名字=值"));
    EXPECT_EQ(swf::files::decodeText(gb, false, true), QString::fromUtf8("名字=值"));
    // A newer movie without useCodepage reads bytes that are not UTF-8 as UTF-8 would.
    EXPECT_NE(swf::files::decodeText(gb, false, false), QString::fromUtf8("名字=值"));
    EXPECT_EQ(swf::files::decodeText(QByteArray::fromHex("fffe41004200"), false, false), "AB");
}

// Tags of MP3 files a script loads: each version's frame layout, and damage.
TEST(Mp3File, ReadsEachTagVersionAndSurvivesDamage) {
    auto split = [](const QByteArray& b) {
        return swf::sound::splitMp3(
            std::span(reinterpret_cast<const std::uint8_t*>(b.data()), std::size_t(b.size())));
    };
    auto field = [](const swf::sound::Mp3File& f, const char* name) {
        for (const auto& [n, v] : f.id3)
            if (n == QLatin1String(name))
                return v;
        return QString();
    };
    const QByteArray audio("\xFF\xFB\x90\x00audio");
    // ID3v2.4: syncsafe frame sizes, UTF-8 text.
    const QByteArray album = QString::fromUtf8("专辑").toUtf8();
    QByteArray v24 = QByteArray("TALB") + QByteArray("\0\0\0", 3) + char(album.size() + 1) +
                     QByteArray(2, 0) + char(3) + album;
    auto f = split(QByteArray("ID3\x04\0\0\0\0\0", 9) + char(v24.size()) + v24 + audio);
    EXPECT_EQ(field(f, "album"), QString::fromUtf8("专辑"));
    EXPECT_EQ(field(f, "TALB"), QString::fromUtf8("专辑"));
    EXPECT_EQ(f.audio.size(), std::size_t(audio.size()));
    // ID3v2.2: three-letter ids and sizes.
    QByteArray v22 = QByteArray("TT2\0\0\x04", 6) + char(0) + "Hey";
    f = split(QByteArray("ID3\x02\0\0\0\0\0", 9) + char(v22.size()) + v22 + audio);
    EXPECT_EQ(field(f, "songname"), "Hey");
    // ID3v1 only, GB18030 bytes.
    QByteArray v1(128, 0);
    v1.replace(0, 3, "TAG");
    v1.replace(3, 4, QByteArray::fromHex("c3fbd7d6"));
    f = split(audio + v1);
    EXPECT_EQ(field(f, "songname"), QString::fromUtf8("名字"));
    EXPECT_EQ(f.audio.size(), std::size_t(audio.size()));
    // A tag claiming more than the file, frames claiming more than the tag: no audio, no
    // tags, nothing read past the end.
    f = split(QByteArray("ID3\x03\0\0\x7F\x7F\x7F\x7FTIT2\xFF\xFF\xFF\xFF\0\0\0x", 22));
    EXPECT_TRUE(f.audio.empty());
    EXPECT_TRUE(f.id3.empty());
    static const char kTagged[] =
        "ID3\x03\x80\x40\0\0\0\x20\0\0\0\x06\0\0TIT2\0\0\0\x03\0\0\x01\xFF";
    const QByteArray tagged(kTagged, sizeof kTagged - 1);
    for (int cut = 0; cut <= tagged.size(); ++cut)
        split(tagged.left(cut));
    EXPECT_TRUE(swf::sound::decodeMp3({})->samples.empty());
}

so::StoredValue number(double d) {
    so::StoredValue v;
    v.type = so::StoredValue::Type::Number;
    v.number = d;
    return v;
}

TEST(SharedObjectStore, KeepsValuesAndIgnoresDamage) {
    so::StoredValue text;
    text.type = so::StoredValue::Type::String;
    text.string = QString::fromUtf8("玩家一");
    so::StoredValue list;
    list.type = so::StoredValue::Type::Array;
    list.length = 3;
    list.members = {{"0", number(1)}, {"2", number(-0.5)}};
    so::StoredValue nested;
    nested.type = so::StoredValue::Type::Object;
    nested.members = {{"list", list}, {"name", text}};
    const so::Members data = {{"score", number(1e300)}, {"player", nested}, {"u", {}}};

    const QByteArray bytes = so::encode(data);
    const auto back = so::decode(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(so::encode(*back), bytes);
    ASSERT_EQ(back->size(), 3u);
    EXPECT_EQ((*back)[1].second.members[1].second.string, QString::fromUtf8("玩家一"));
    EXPECT_EQ((*back)[1].second.members[0].second.length, 3u);

    // Every cut and every flipped header byte is refused, never read past the end.
    for (qsizetype n = 0; n < bytes.size(); ++n)
        EXPECT_FALSE(so::decode(bytes.left(n))) << n;
    EXPECT_FALSE(so::decode(bytes + "x"));
    QByteArray huge = bytes.left(6);
    huge += QByteArray::fromHex("ffffffff");
    EXPECT_FALSE(so::decode(huge));
    // Nesting deeper than a store may hold.
    QByteArray deep = "RWSO1\n";
    for (int i = 0; i <= so::kMaxDepth + 1; ++i)
        deep += QByteArray::fromHex("0100000000000000") + char(so::StoredValue::Type::Object);
    deep += QByteArray::fromHex("00000000");
    EXPECT_FALSE(so::decode(deep));
}

TEST(SharedObjectStore, OneFolderPerMovieCappedAndAtomic) {
    QTemporaryDir tmp;
    const QString base = tmp.path() + "/shared-objects";
    const so::Store a(base, tmp.path() + "/one/game.swf");
    const so::Store b(base, tmp.path() + "/two/game.swf");
    EXPECT_NE(a.folder(), b.folder()); // same file name, different movies
    EXPECT_TRUE(a.folder().startsWith(base + "/game-"));

    const QString file = a.fileFor("scores/high", {}).value();
    EXPECT_TRUE(file.startsWith(a.folder() + "/"));
    EXPECT_FALSE(file.mid(a.folder().size() + 1).contains('/')); // "/" never makes a folder
    EXPECT_NE(a.fileFor("x", "/").value(), a.fileFor("x", {}).value());
    EXPECT_TRUE(a.fileFor("x", tmp.path() + "/one"));
    EXPECT_TRUE(a.fileFor("x", QUrl::fromLocalFile(tmp.path()).toString()));
    EXPECT_FALSE(a.fileFor("x", tmp.path() + "/two"));
    EXPECT_FALSE(a.fileFor("x", tmp.path() + "/on")); // a prefix that is not a folder
    EXPECT_FALSE(a.fileFor("", {}));
    EXPECT_FALSE(a.fileFor("a:b", {}));
    EXPECT_FALSE(a.fileFor("a b", {}));

    const so::Members data = {{"count", number(3)}};
    ASSERT_TRUE(a.save(file, so::encode(data)));
    auto loaded = a.load(file);
    EXPECT_TRUE(loaded.problem.isEmpty());
    ASSERT_EQ(loaded.data.size(), 1u);
    EXPECT_EQ(loaded.data[0].second.number, 3);
    EXPECT_EQ(QDir(a.folder()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temp left

    // The cap counts every store of the movie; a refused write keeps the old contents.
    const QString other = a.fileFor("other", {}).value();
    QString why;
    EXPECT_FALSE(a.save(other, QByteArray(so::kMaxBytesPerMovie, 'x'), &why));
    EXPECT_TRUE(why.contains("100 KB"));
    EXPECT_TRUE(a.save(other, QByteArray(so::kMaxBytesPerMovie - QFileInfo(file).size(), 'x')));
    EXPECT_FALSE(a.save(file, so::encode({{"count", number(4)}, {"more", number(5)}})));
    EXPECT_EQ(a.load(file).data[0].second.number, 3);
    EXPECT_TRUE(b.save(b.fileFor("other", {}).value(), QByteArray(1000, 'x'))); // b's own cap

    // A damaged store is ignored with the reason; a missing one is simply empty.
    writeFile(other, "RWSO1\n\x05");
    loaded = a.load(other);
    EXPECT_TRUE(loaded.data.empty());
    EXPECT_TRUE(loaded.problem.contains("damaged"));
    EXPECT_TRUE(a.load(a.fileFor("never", {}).value()).problem.isEmpty());
    ASSERT_TRUE(a.remove(file));
    EXPECT_FALSE(QFileInfo::exists(file));
}

} // namespace
