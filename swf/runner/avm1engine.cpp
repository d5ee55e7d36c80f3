#include "swf/runner/avm1engine.h"

#include "swf/render/bitmapdrawer.h"

#include <QUrl>

namespace swf {

Avm1Engine::Avm1Engine(Player& player, const ScriptHostHooks& hooks, const QString& movieUrl,
                       const avm1::Limits& limits, const QString& sharedObjectFolder)
    : m_scripting(player, limits) {
    avm1::HostHooks& h = m_scripting.hooks();
    // Unset hooks keep the scripting code's own defaults (trace to standard error).
    if (hooks.trace)
        h.trace = hooks.trace;
    h.warning = hooks.warning;
    h.notice = hooks.notice;
    h.fscommand = hooks.fscommand;
    h.confirmOpenUrl = hooks.confirmOpenUrl;
    h.openUrl = hooks.openUrl;
    h.scaleModeChanged = hooks.scaleModeChanged;
    m_scripting.hitTest = hooks.hitTest;
    m_scripting.vm().clock = hooks.clock;
    m_scripting.vm().bitmapDrawer = std::make_shared<render::RendererBitmapDrawer>();
    if (!movieUrl.isEmpty())
        m_scripting.vm().movieUrl = movieUrl;
    if (const QUrl url(movieUrl); url.isLocalFile())
        m_scripting.setFiles(url.toLocalFile(), sharedObjectFolder);
}

void Avm1Engine::setSound(std::shared_ptr<sound::MovieSound> sound) {
    m_scripting.setSound(std::move(sound));
}

QString Avm1Engine::stageAlign() const {
    return const_cast<avm1::Scripting&>(m_scripting).vm().stageAlign;
}

} // namespace swf
