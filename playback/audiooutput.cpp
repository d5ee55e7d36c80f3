#include "playback/audiooutput.h"

#include "swf/sound/moviesound.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

constexpr int kRate = swf::sound::kOutputRate;
constexpr int kBytesPerFrame = 4; // 16-bit stereo
// A device that stops taking data for this long no longer paces the movie.
constexpr qint64 kStallMs = 300;

} // namespace

// The sink pulls the mix through this device; with no sound set it hands out silence.
class AudioOutput::Feed : public QIODevice {
public:
    void setSound(std::shared_ptr<swf::sound::MovieSound> s) {
        std::lock_guard lock(m_mutex);
        m_sound = std::move(s);
    }
    qint64 readData(char* data, qint64 maxSize) override {
        const std::size_t frames = std::size_t(std::max<qint64>(0, maxSize) / kBytesPerFrame);
        std::lock_guard lock(m_mutex);
        if (m_sound)
            m_sound->render(reinterpret_cast<std::int16_t*>(data), frames);
        else
            std::memset(data, 0, frames * kBytesPerFrame);
        return qint64(frames * kBytesPerFrame);
    }
    qint64 writeData(const char*, qint64) override { return -1; }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return kRate * kBytesPerFrame; }

private:
    std::mutex m_mutex;
    std::shared_ptr<swf::sound::MovieSound> m_sound;
};

AudioOutput::AudioOutput(QObject* parent, Mode mode) : QObject(parent), m_feed(new Feed) {
    m_feed->open(QIODevice::ReadOnly);
    m_silentTimer.setInterval(20);
    connect(&m_silentTimer, &QTimer::timeout, this, &AudioOutput::silentTick);
    if (mode == Mode::Device)
        startDevice();
    if (!m_sink)
        fallBackToSilence();
    m_sinceProgress.start();
}

AudioOutput::~AudioOutput() {
    if (m_sink) {
        m_sink->stop();
        delete m_sink;
    }
}

namespace {

// Qt reports a missing sound server as a warning on its first look at the devices; here that is
// an ordinary case (the movie plays silently), not something to print.
QtMessageHandler g_previousHandler = nullptr;

void quietAboutMissingServer(QtMsgType type, const QMessageLogContext& context,
                             const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QLatin1String("PulseAudioService:")))
        return;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

} // namespace

void AudioOutput::startDevice() {
    g_previousHandler = qInstallMessageHandler(quietAboutMissingServer);
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    qInstallMessageHandler(g_previousHandler);
    if (device.isNull())
        return;
    QAudioFormat format;
    format.setSampleRate(kRate);
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format))
        return;
    m_sink = new QAudioSink(device, format);
    m_sink->setBufferSize(kRate * kBytesPerFrame / 10); // 100 ms: sound follows the picture
    connect(m_sink, &QAudioSink::stateChanged, this, [this](QAudio::State state) {
        // A device that goes away leaves the movie playing silently.
        if (state == QAudio::StoppedState && m_sink && m_sink->error() != QAudio::NoError)
            QTimer::singleShot(0, this, &AudioOutput::fallBackToSilence);
    });
    m_sink->start(m_feed.get());
    if (m_sink->error() != QAudio::NoError || m_sink->state() == QAudio::StoppedState) {
        delete m_sink;
        m_sink = nullptr;
    }
}

void AudioOutput::fallBackToSilence() {
    if (m_sink) {
        m_silentPlayed = playedFrames();
        m_sink->disconnect(this);
        m_sink->stop();
        m_sink->deleteLater();
        m_sink = nullptr;
    }
    m_silentClock.start();
    if (!m_paused)
        m_silentTimer.start();
}

void AudioOutput::silentTick() {
    const qint64 ms = m_silentClock.restart();
    const std::size_t frames = std::size_t(std::clamp<qint64>(ms, 0, 1000) * kRate / 1000);
    std::vector<char> scratch(frames * kBytesPerFrame);
    m_feed->read(scratch.data(), qint64(scratch.size()));
    m_silentPlayed += frames;
}

std::uint64_t AudioOutput::playedFrames() const {
    if (m_sink)
        return std::uint64_t(std::max<qint64>(0, m_sink->processedUSecs())) * kRate / 1000000;
    return m_silentPlayed;
}

void AudioOutput::setSound(std::shared_ptr<swf::sound::MovieSound> sound) {
    m_sound = sound;
    m_feed->setSound(std::move(sound));
    m_base = playedFrames();
}

void AudioOutput::setPaused(bool paused) {
    if (paused == m_paused)
        return;
    m_paused = paused;
    if (m_sink) {
        if (paused)
            m_sink->suspend();
        else
            m_sink->resume();
    } else if (paused) {
        silentTick();
        m_silentTimer.stop();
    } else {
        m_silentClock.restart();
        m_silentTimer.start();
    }
}

std::uint64_t AudioOutput::heardTime() const {
    if (!m_sound)
        return 0;
    const std::uint64_t played = playedFrames();
    const std::uint64_t heard = played > m_base ? played - m_base : 0;
    return std::min(heard, m_sound->time());
}

std::optional<std::int64_t> AudioOutput::stepsDue() const {
    if (!m_sound || m_paused)
        return std::nullopt;
    const std::uint64_t played = playedFrames();
    if (played != m_lastPlayed) {
        m_lastPlayed = played;
        m_sinceProgress.restart();
    } else if (m_sinceProgress.elapsed() > kStallMs) {
        return std::nullopt;
    }
    return m_sound->stepsDue(heardTime());
}
