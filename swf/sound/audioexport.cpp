#include "swf/sound/audioexport.h"

#include "swf/sound/decoder.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>
#include <cmath>

namespace swf::sound {

AudioRecorder::AudioRecorder(std::shared_ptr<const Movie> movie)
    : AudioRecorder(std::make_shared<MovieSound>(movie), movie->header().effectiveFrameRate()) {}

AudioRecorder::AudioRecorder(std::shared_ptr<MovieSound> sound, double frameRate)
    : m_sound(std::move(sound)), m_fps(frameRate) {
    m_audio.rate = kOutputRate;
    m_audio.channels = 2;
}

void AudioRecorder::update(const Player& player) {
    m_sound->update(player);
    ++m_stats.ticks;
}

void AudioRecorder::renderPicture() {
    // Picture n ends at n / fps exactly; rounding each picture's length would drift.
    ++m_stats.pictures;
    const auto end = std::uint64_t(std::llround(double(m_stats.pictures) * kOutputRate / m_fps));
    const std::uint64_t now = m_sound->time();
    const std::size_t n = end > now ? std::size_t(end - now) : 0;
    const std::size_t base = m_audio.samples.size();
    m_audio.samples.resize(base + n * 2);
    m_sound->render(m_audio.samples.data() + base, n);
}

int AudioRecorder::ticksDue() const {
    const auto steps = m_sound->stepsDue(m_sound->time());
    if (!steps)
        return 1;
    return int(std::clamp<std::int64_t>(*steps, 0, kMaxTicksPerPicture));
}

std::optional<double> AudioRecorder::drift() const {
    const MovieSound& sound = *m_sound;
    const MovieClip* clip = sound.clockClip();
    if (!clip)
        return std::nullopt;
    const auto timing = sound.streamTiming(clip);
    const auto pos = sound.streamPosition(clip, sound.time());
    const std::size_t shown = clip->currentFrame();
    if (!timing || !pos || timing->rate <= 0 || shown < timing->firstFrame ||
        shown - timing->firstFrame >= timing->start.size())
        return std::nullopt;
    return (*pos - double(timing->start[shown - timing->firstFrame])) / timing->rate;
}

PcmBuffer renderMovieAudio(std::shared_ptr<const Movie> movie, std::size_t firstFrame,
                           std::size_t frameCount, AudioExportStats* stats) {
    Player player(movie);
    player.setLooping(false);
    AudioRecorder recorder(movie);
    if (frameCount == 0 || firstFrame >= player.frameCount())
        return recorder.takeAudio();
    if (firstFrame > 0)
        player.gotoFrame(std::int64_t(firstFrame));
    recorder.update(player);
    const std::size_t last = std::min(firstFrame + frameCount, player.frameCount()) - 1;
    AudioExportStats drift;
    for (;;) {
        recorder.renderPicture();
        const int due = recorder.ticksDue();
        bool done = recorder.audio().frames() >= kMaxDecodedFrames;
        for (int i = 0; i < due && !done; ++i) {
            if (player.currentFrame() >= last) {
                done = true;
                break;
            }
            player.advance();
            recorder.update(player);
        }
        if (done)
            break;
        if (const auto d = recorder.drift()) {
            drift.maxDriftSeconds = std::max(drift.maxDriftSeconds, *d);
            drift.minDriftSeconds =
                drift.picturesWithStream ? std::min(drift.minDriftSeconds, *d) : *d;
            ++drift.picturesWithStream;
        }
    }
    if (stats) {
        *stats = recorder.stats();
        stats->maxDriftSeconds = drift.maxDriftSeconds;
        stats->minDriftSeconds = drift.minDriftSeconds;
        stats->picturesWithStream = drift.picturesWithStream;
    }
    return recorder.takeAudio();
}

namespace {

constexpr std::uint32_t kMaxWavData = std::numeric_limits<std::uint32_t>::max() - 36;

QByteArray wavHeader(std::uint32_t rate, std::uint16_t channels, std::uint32_t dataBytes) {
    QByteArray out;
    auto u32 = [&](std::uint32_t v) {
        char b[4];
        qToLittleEndian(v, b);
        out.append(b, 4);
    };
    auto u16 = [&](std::uint16_t v) {
        char b[2];
        qToLittleEndian(v, b);
        out.append(b, 2);
    };
    out.append("RIFF", 4);
    u32(36 + dataBytes);
    out.append("WAVEfmt ", 8);
    u32(16);
    u16(1); // PCM
    u16(channels);
    u32(rate);
    u32(rate * channels * 2);
    u16(std::uint16_t(channels * 2));
    u16(16);
    out.append("data", 4);
    u32(dataBytes);
    return out;
}

// Little-endian samples, at most `maxBytes` of them.
QByteArray sampleBytes(const PcmBuffer& pcm, std::uint32_t maxBytes) {
    const std::size_t count = std::min<std::size_t>(pcm.samples.size(), maxBytes / 2);
    QByteArray out(qsizetype(count * 2), Qt::Uninitialized);
    for (std::size_t i = 0; i < count; ++i)
        qToLittleEndian(std::uint16_t(pcm.samples[i]), out.data() + 2 * i);
    return out;
}

} // namespace

QByteArray wavBytes(const PcmBuffer& pcm) {
    const QByteArray data = sampleBytes(pcm, kMaxWavData);
    return wavHeader(pcm.rate, pcm.channels, std::uint32_t(data.size())) + data;
}

bool writeWav(const QString& path, const PcmBuffer& pcm) {
    WavWriter writer(path);
    return writer.append(pcm) && writer.commit();
}

WavWriter::WavWriter(const QString& path) : m_file(path) {
    // The header's place, filled in by commit().
    m_ok = m_file.open(QIODevice::WriteOnly) && m_file.write(QByteArray(44, 0)) == 44;
}

bool WavWriter::append(const PcmBuffer& pcm) {
    if (!m_ok)
        return false;
    if (!pcm.samples.empty()) {
        m_rate = pcm.rate;
        m_channels = pcm.channels;
    }
    const QByteArray data = sampleBytes(pcm, kMaxWavData - m_dataBytes);
    m_ok = m_file.write(data) == data.size();
    m_dataBytes += std::uint32_t(data.size());
    return m_ok;
}

bool WavWriter::commit() {
    if (!m_ok)
        return false;
    const QByteArray header = wavHeader(m_rate, m_channels, m_dataBytes);
    m_ok = m_file.seek(0) && m_file.write(header) == header.size() && m_file.commit();
    return m_ok;
}

} // namespace swf::sound
