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

QByteArray wavBytes(const PcmBuffer& pcm) {
    const std::uint32_t dataBytes = std::uint32_t(std::min<std::size_t>(
        pcm.samples.size() * 2, std::numeric_limits<std::uint32_t>::max() - 36));
    QByteArray out;
    out.reserve(int(44 + dataBytes));
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
    const std::uint16_t channels = pcm.channels;
    out.append("RIFF", 4);
    u32(36 + dataBytes);
    out.append("WAVEfmt ", 8);
    u32(16);
    u16(1); // PCM
    u16(channels);
    u32(pcm.rate);
    u32(pcm.rate * channels * 2);
    u16(std::uint16_t(channels * 2));
    u16(16);
    out.append("data", 4);
    u32(dataBytes);
    for (std::size_t i = 0; i < dataBytes / 2; ++i)
        u16(std::uint16_t(pcm.samples[i]));
    return out;
}

bool writeWav(const QString& path, const PcmBuffer& pcm) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = wavBytes(pcm);
    return f.write(bytes) == bytes.size() && f.commit();
}

} // namespace swf::sound
