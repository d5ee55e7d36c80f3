#include "playback/movieinfodialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

namespace {

QString sizeText(std::int64_t bytes) {
    const QLocale c(QLocale::Chinese, QLocale::China);
    const QString exact = QObject::tr("%1 字节").arg(c.toString(qlonglong(bytes)));
    if (bytes < 1024)
        return exact;
    return QStringLiteral("%1（%2）")
        .arg(c.formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat), exact);
}

QString durationText(double seconds) {
    const auto tenths = qint64(seconds * 10 + 0.5);
    const qint64 s = tenths / 10;
    return QStringLiteral("%1:%2.%3")
        .arg(s / 60)
        .arg(s % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}

QString rateText(double rate) {
    return QString::number(rate, 'g', 6);
}

QString soundText(const swf::MovieInfo::SoundKind& s) {
    const QString rate = s.rate >= 1000
                             ? QString::number(s.rate / 1000.0, 'g', 6) + QStringLiteral(" kHz")
                             : QString::number(s.rate) + QStringLiteral(" Hz");
    return QObject::tr("%1，%2，%3%4")
        .arg(swf::soundCodecName(s.codec), rate,
             s.stereo ? QObject::tr("立体声") : QObject::tr("单声道"),
             s.stream ? QObject::tr("，流式声音") : QObject::tr("，事件声音 %1 个").arg(s.count));
}

} // namespace

QList<QPair<QString, QString>> movieInfoRows(const swf::MovieInfo& info) {
    QList<QPair<QString, QString>> rows;
    rows.append({QObject::tr("文件"), info.path});
    rows.append({QObject::tr("文件大小"), sizeText(info.fileBytes)});
    QString compression = QObject::tr("无");
    if (info.compression == swf::Compression::Zlib)
        compression = QStringLiteral("zlib");
    else if (info.compression == swf::Compression::Lzma)
        compression = QStringLiteral("LZMA");
    rows.append({QObject::tr("压缩"), compression});
    rows.append({QObject::tr("版本"), QString::number(info.version)});
    rows.append({QObject::tr("舞台大小"),
                 QObject::tr("%1 × %2 像素").arg(info.stageWidth).arg(info.stageHeight)});
    QString rate = QObject::tr("%1 帧/秒").arg(rateText(info.frameRate));
    if (info.playRate != info.frameRate)
        rate += QObject::tr("（按 %1 帧/秒播放）").arg(rateText(info.playRate));
    rows.append({QObject::tr("帧频"), rate});
    QString frames = QString::number(info.frames);
    if (info.declaredFrames != info.frames)
        frames += QObject::tr("（文件头写明 %1）").arg(info.declaredFrames);
    rows.append({QObject::tr("帧数"), frames});
    rows.append({QObject::tr("播放时间"), durationText(info.seconds)});
    QString script = QObject::tr("无");
    if (info.script == swf::ScriptLanguage::ActionScript12)
        script = QStringLiteral("ActionScript 1/2");
    else if (info.script == swf::ScriptLanguage::ActionScript3)
        script = QStringLiteral("ActionScript 3");
    rows.append({QObject::tr("脚本语言"), script});
    QStringList sounds;
    for (const auto& s : info.sounds)
        sounds << soundText(s);
    rows.append({QObject::tr("声音"), sounds.isEmpty() ? QObject::tr("无") : sounds.join('\n')});
    QStringList videos;
    for (const auto& v : info.videos)
        videos << QObject::tr("%1，%2 × %3，%4 帧")
                      .arg(swf::videoCodecName(v.codec))
                      .arg(v.width)
                      .arg(v.height)
                      .arg(v.frames);
    rows.append({QObject::tr("视频"), videos.isEmpty() ? QObject::tr("无") : videos.join('\n')});
    QString fonts = info.fonts.join(QStringLiteral("、"));
    if (info.unnamedFonts > 0) {
        const QString unnamed = QObject::tr("%1 个未命名字体").arg(info.unnamedFonts);
        fonts = fonts.isEmpty() ? unnamed : fonts + QStringLiteral("；") + unnamed;
    }
    rows.append({QObject::tr("字体"), fonts.isEmpty() ? QObject::tr("无") : fonts});
    return rows;
}

MovieInfoDialog::MovieInfoDialog(const swf::MovieInfo& info, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("影片信息"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    for (const auto& [caption, text] : movieInfoRows(info)) {
        auto* value = new QLabel(text);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setWordWrap(true);
        form->addRow(caption + QStringLiteral("："), value);
    }
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}
