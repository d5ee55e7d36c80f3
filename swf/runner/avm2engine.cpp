#include "swf/runner/avm2engine.h"

#include "swf/player.h"

#include <QUrl>

namespace swf {

namespace {
avm2::RuntimeOptions runtimeOptions(const ScriptHostHooks& hooks, const avm2::Limits& limits) {
    avm2::RuntimeOptions o;
    o.limits = limits;
    o.trace = hooks.trace; // unset: standard error, one line per call
    o.error = hooks.notice;
    if (hooks.clock) {
        auto clock = hooks.clock;
        o.clock = [clock] { return double(clock()); };
    }
    return o;
}
} // namespace

Avm2Engine::Avm2Engine(Player& player, std::shared_ptr<const Movie> movie,
                       const ScriptHostHooks& hooks, const avm2::Limits& limits,
                       const QString& movieUrl, const QString& sharedObjectFolder)
    : m_player(player), m_runtime(std::move(movie), runtimeOptions(hooks, limits)) {
    if (const QUrl url(movieUrl); url.isLocalFile()) {
        m_runtime.vm().moviePath = url.toLocalFile();
        m_runtime.vm().sharedObjectFolder = sharedObjectFolder;
    }
    m_runtime.vm().noticeHook = hooks.notice;
}

void Avm2Engine::tick() {
    m_player.advance();
    // The player's queue of AVM1 actions means nothing to an ActionScript 3 movie.
    m_player.takePendingActions();
    if (!m_runtime.started())
        m_runtime.start();
    else
        m_runtime.advanceFrame();
}

void Avm2Engine::frameShown() {
    m_player.takePendingActions();
    // The first frame is shown once; seeks and steps of the user move the timeline only.
    if (!m_runtime.started())
        m_runtime.start();
}

} // namespace swf
