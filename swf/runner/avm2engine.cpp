#include "swf/runner/avm2engine.h"

#include "swf/player.h"
#include "swf/render/bitmapdrawer.h"

#include <QUrl>

namespace swf {

namespace {
avm2::RuntimeOptions runtimeOptions(const ScriptHostHooks& hooks, const avm2::Limits& limits,
                                    const QString& url) {
    avm2::RuntimeOptions o;
    o.url = url;
    o.scaleModeChanged = hooks.scaleModeChanged;
    // Full screen as ActionScript 2's fscommand("fullscreen") asks for it: the window's command.
    if (auto fscommand = hooks.fscommand)
        o.fullScreenRequested = [fscommand](bool on) {
            fscommand(QStringLiteral("fullscreen"),
                      on ? QStringLiteral("true") : QStringLiteral("false"));
        };
    o.limits = limits;
    o.trace = hooks.trace; // unset: standard error, one line per call
    o.error = hooks.notice;
    if (hooks.clock) {
        auto clock = hooks.clock;
        o.clock = [clock] { return double(clock()); };
    }
    o.bitmapDrawer = std::make_shared<render::RendererBitmapDrawer>();
    return o;
}
} // namespace

Avm2Engine::Avm2Engine(Player& player, std::shared_ptr<const Movie> movie,
                       const ScriptHostHooks& hooks, const avm2::Limits& limits, const QString& url,
                       const QString& sharedObjectFolder)
    : m_player(player), m_runtime(std::move(movie), runtimeOptions(hooks, limits, url), &player) {
    if (const QUrl u(url); u.isLocalFile()) {
        m_runtime.vm().moviePath = u.toLocalFile();
        m_runtime.vm().sharedObjectFolder = sharedObjectFolder;
    }
    m_runtime.vm().noticeHook = hooks.notice;
}

std::optional<MouseCursor> Avm2Engine::cursor() const {
    switch (m_runtime.cursor()) {
    case avm2::Runtime::Cursor::Hand:
        return MouseCursor::Hand;
    case avm2::Runtime::Cursor::IBeam:
        return MouseCursor::IBeam;
    case avm2::Runtime::Cursor::Arrow:
        break;
    }
    return MouseCursor::Arrow;
}

void Avm2Engine::tick() {
    // The runtime moves the player on itself: scripts run between its steps.
    if (!m_runtime.started()) {
        m_player.advance();
        m_player.takePendingActions();
        m_runtime.start();
    } else {
        m_runtime.advanceFrame();
    }
}

void Avm2Engine::frameShown() {
    m_player.takePendingActions();
    // The first frame is shown once; seeks and steps of the user move the timeline, whose new
    // objects get their script side without running frame scripts.
    if (!m_runtime.started())
        m_runtime.start();
    else
        m_runtime.timelineMoved();
}

} // namespace swf
