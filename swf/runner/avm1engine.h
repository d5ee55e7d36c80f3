#pragma once

// ActionScript 1 and 2 behind the runner's seam.

#include "swf/avm1/scripting.h"
#include "swf/runner/scriptengine.h"

namespace swf {

class Avm1Engine final : public ScriptEngine {
public:
    // A file:// `movieUrl` lets scripts read files beside the movie; `sharedObjectFolder` is
    // where SharedObjects are kept (none when empty).
    Avm1Engine(Player& player, const ScriptHostHooks& hooks, const QString& movieUrl,
               const avm1::Limits& limits = {}, const QString& sharedObjectFolder = {});

    void tick() override { m_scripting.tick(); }
    void frameShown() override { m_scripting.afterAdvance(); }
    void mouseMove(QPointF stagePx) override { m_scripting.mouseMove(stagePx); }
    void mouseDown() override { m_scripting.mouseDown(); }
    void mouseUp() override { m_scripting.mouseUp(); }
    void mouseDoubleClick() override { m_scripting.mouseDoubleClick(); }
    std::optional<MouseCursor> cursor() const override {
        const std::optional<bool> hand = m_scripting.handCursor();
        if (!hand)
            return m_scripting.overText() ? std::optional(MouseCursor::IBeam) : std::nullopt;
        return *hand ? MouseCursor::Hand : MouseCursor::Arrow;
    }
    void keyDown(int code, int ascii) override { m_scripting.keyDown(code, ascii); }
    void keyUp(int code, int ascii) override { m_scripting.keyUp(code, ascii); }
    void textInput(const QString& text) override { m_scripting.textInput(text); }
    void composeText(const QString& preedit) override { m_scripting.composeText(preedit); }
    QString selectedText(bool cut) override { return m_scripting.selectedText(cut); }
    void viewResized(QSizeF viewPx) override { m_scripting.viewResized(viewPx); }
    void setSound(std::shared_ptr<sound::MovieSound> sound) override;
    bool quitRequested() const override { return m_scripting.quitRequested(); }
    QString stageAlign() const override;

    avm1::Scripting& scripting() { return m_scripting; }

private:
    avm1::Scripting m_scripting;
};

} // namespace swf
