#pragma once

class MovieControl;
class QAction;

// The playback menu's commands: each makes its one or two calls on whatever the control holds.
class PlaybackCommands {
public:
    PlaybackCommands(MovieControl& control, QAction& keepProportions)
        : m_control(control), m_keepProportions(keepProportions) {}

    void cmdplay_Click();
    void cmdpause_Click();
    void cmdpreframe_Click();
    void cmdnextframe_Click();
    void cmdfastgo_Click();
    void cmdfastback_Click();
    void cmdstop_Click();
    void cmdclose_Click();
    void mnudisplay_Click();

    static constexpr int kJumpFrames = 10;

private:
    MovieControl& m_control;
    QAction& m_keepProportions;
};
