#include "playback/playbackcommands.h"

#include "playback/moviecontrol.h"

#include <QAction>

void PlaybackCommands::cmdplay_Click() {
    m_control.Play();
}
void PlaybackCommands::cmdpause_Click() {
    m_control.Stop();
}
void PlaybackCommands::cmdpreframe_Click() {
    m_control.Back();
}
void PlaybackCommands::cmdnextframe_Click() {
    m_control.Forward();
}

// Not clamped here: the control takes any frame number and clamps it itself. The sum wraps
// like the 32-bit arithmetic it stands for instead of overflowing.
void PlaybackCommands::cmdfastgo_Click() {
    m_control.FrameNum(qint32(quint32(m_control.FrameNum()) + kJumpFrames));
}
void PlaybackCommands::cmdfastback_Click() {
    m_control.FrameNum(qint32(quint32(m_control.FrameNum()) - kJumpFrames));
}

void PlaybackCommands::cmdstop_Click() {
    m_control.Rewind();
    m_control.StopPlay();
}

void PlaybackCommands::cmdclose_Click() {
    m_control.Movie(QStringLiteral("http://"));
}

void PlaybackCommands::mnudisplay_Click() {
    m_keepProportions.setChecked(!m_keepProportions.isChecked());
    m_control.ScaleMode(m_keepProportions.isChecked() ? 0 : 2);
}
