#pragma once

// ActionScript 3 behind the runner's seam: the timeline steps in the player, the scripts run in
// the AVM2 runtime, on the runner's clock.

#include "swf/avm2/runtime.h"
#include "swf/runner/scriptengine.h"

namespace swf {

class Avm2Engine final : public ScriptEngine {
public:
    // A file:// `movieUrl` and a `sharedObjectFolder` give the movie its SharedObject stores.
    Avm2Engine(Player& player, std::shared_ptr<const Movie> movie, const ScriptHostHooks& hooks,
               const avm2::Limits& limits = {}, const QString& url = {},
               const QString& sharedObjectFolder = {});

    void tick() override;
    void frameShown() override;
    void mouseMove(QPointF stagePx) override { m_runtime.mouseMove(stagePx * 20); }
    void mouseDown() override { m_runtime.mouseDown(); }
    void mouseUp() override { m_runtime.mouseUp(); }
    void mouseDoubleClick() override { m_runtime.mouseDoubleClick(); }
    void mouseWheel(int delta) override { m_runtime.mouseWheel(delta); }
    std::optional<MouseCursor> cursor() const override;
    void keyDown(int code, int ascii) override { m_runtime.keyDown(code, ascii); }
    void keyUp(int code, int ascii) override { m_runtime.keyUp(code, ascii); }
    void textInput(const QString& text) override { m_runtime.textInput(text); }
    void composeText(const QString& preedit) override { m_runtime.composeText(preedit); }
    QString selectedText(bool cut) override { return m_runtime.selectedText(cut); }
    void viewResized(QSizeF viewPx) override { m_runtime.viewResized(viewPx); }
    void fullScreenChanged(bool on) override { m_runtime.fullScreenChanged(on); }
    void setSound(std::shared_ptr<sound::MovieSound> sound) override {
        m_runtime.setSound(std::move(sound));
    }
    bool quitRequested() const override { return m_runtime.quitRequested(); }
    QString stageAlign() const override { return m_runtime.stageAlign(); }
    bool mouseHidden() const override { return m_runtime.mouseHidden(); }

    avm2::Runtime& runtime() { return m_runtime; }

private:
    Player& m_player;
    avm2::Runtime m_runtime;
};

} // namespace swf
