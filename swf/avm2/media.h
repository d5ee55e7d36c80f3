#pragma once

// What the ActionScript 3 sound, loading and system classes share: the movie's one sound
// engine (the mixer the timeline's sounds play on, which exports record), objects kept alive
// while they play or load, and events that arrive between frames.

#include "swf/avm2/display.h"

#include <functional>
#include <memory>
#include <vector>

namespace swf {
class Movie;
namespace sound {
class MovieSound;
}
} // namespace swf

namespace swf::avm2 {

class ChannelObject;

struct MediaHost {
    std::shared_ptr<sound::MovieSound> engine; // null: sounds play silently
    std::vector<ChannelObject*> channels;      // playing (and so kept)
    // Events due between frames (load results, soundComplete), in order; their targets and
    // the events are kept until dispatched.
    struct Pending {
        DisplayNode* target;
        Value event;
        std::function<void(VM&)> before; // what becomes true as it arrives (may be empty)
    };
    std::vector<Pending> pending;
    // flash.ui.Mouse and System: the pointer hidden over the view, its cursor name; the code
    // page flag (kept; text is Unicode here).
    bool mouseHidden = false;
    QString cursor = QStringLiteral("auto");
    bool useCodePage = false;
};

MediaHost& media(VM& vm);
// Keeps `o` alive until unkeep (each keep needs its unkeep).
void keep(VM& vm, Object* o);
void unkeep(VM& vm, Object* o);
// Queues an event for the next frame; `before` runs just before it is dispatched.
void post(VM& vm, DisplayNode* target, const Value& event, std::function<void(VM&)> before = {});
// A new event of a flash.events class (`qualified`, e.g. "flash.events::IOErrorEvent") with
// the given type and, for error events, text; falls back to Event.
Value makeEvent(VM& vm, const QString& qualified, const QString& type, const QString& text = {},
                int errorId = 0);
// One line on standard error (or the VM's notice hook).
void noticeLine(VM& vm, const QString& line);

// The runtime hands over the sound engine (none: silent) and, between frames, lets queued
// events out, sounds report completion and generated sounds ask for more.
void setSoundEngine(VM& vm, std::shared_ptr<sound::MovieSound> engine);
void pumpMedia(VM& vm);
// Whether a movie's ActionScript 3 names flash.media (Sound and friends), so that it needs a
// sound engine even without sounds of its own.
bool namesMedia(const Movie& movie);

// flash.system.ApplicationDomain (builtins_domain.cpp): the VM domain a handle stands for, made
// now if it was not yet (null: `handle` is none); a handle on `domain` (null: the main one).
Domain* realizeDomain(VM& vm, const Value& handle);
Value domainHandle(VM& vm, Domain* domain);
void installDomains(VM& vm);
// The character id SymbolClass links to `c` or its nearest linked base, in the movie (main or
// loaded) whose domain defines that class ({null, 0}: none), and that id's character.
std::pair<const Movie*, std::uint16_t> linkedSymbol(VM& vm, Class* c);
const Character* linkedCharacter(VM& vm, Class* c);
// The library symbol of a movie a Loader showed with code of its own that its SymbolClass links
// to `c` itself ({null, 0}: none): what `new` of that class builds.
std::pair<std::shared_ptr<const Movie>, std::uint16_t> loadedSymbol(VM& vm, Class* c);

// DisplayObject.filters and mask (builtins_effects.cpp). maskAllows: whether a point of the
// stage (twips) is inside the mask a script gave `o` (true without one).
void installEffects(VM& vm, Class* displayObject);
bool maskAllows(DisplayTree& tree, const swf::DisplayObject& o, QPointF stagePoint);

void installSound(VM& vm);
void installSystem(VM& vm);
void installLoader(VM& vm);

} // namespace swf::avm2
