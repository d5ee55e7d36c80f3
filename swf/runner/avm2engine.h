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
               const avm2::Limits& limits = {}, const QString& movieUrl = {},
               const QString& sharedObjectFolder = {});

    void tick() override;
    void frameShown() override;
    // The Flash API's input events are not wired yet: input reaches the timeline's buttons
    // through the runner only.
    void mouseMove(QPointF) override {}
    void mouseDown() override {}
    void mouseUp() override {}
    void keyDown(int, int) override {}
    void keyUp(int, int) override {}
    void viewResized(QSizeF) override {}
    void setSound(std::shared_ptr<sound::MovieSound>) override {}
    bool quitRequested() const override { return false; }
    QString stageAlign() const override { return {}; }

    avm2::Runtime& runtime() { return m_runtime; }

private:
    Player& m_player;
    avm2::Runtime m_runtime;
};

} // namespace swf
