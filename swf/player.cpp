#include "swf/player.h"

#include <algorithm>

namespace swf {
namespace {

// Button hosts and clips whose timeline could not be built show this one empty frame.
const Timeline& emptyTimeline() {
    static const Timeline t = [] {
        Timeline tl;
        tl.frames.resize(1);
        return tl;
    }();
    return t;
}

std::vector<Placement>::iterator findDepth(std::vector<Placement>& list, std::int32_t depth) {
    return std::lower_bound(list.begin(), list.end(), depth,
                            [](const Placement& p, std::int32_t d) { return p.depth < d; });
}

void applyAttributes(Placement& p, const DisplayTag& t) {
    if (t.matrix)
        p.matrix = *t.matrix;
    if (t.colorTransform)
        p.colorTransform = *t.colorTransform;
    if (t.ratio)
        p.ratio = *t.ratio;
    if (t.name)
        p.name = *t.name;
    if (t.clipDepth)
        p.clipDepth = *t.clipDepth;
    if (t.filters)
        p.filters = t.filters->empty() ? nullptr : &*t.filters;
    if (t.blendMode)
        p.blendMode = *t.blendMode;
    if (t.cacheAsBitmap)
        p.cacheAsBitmap = *t.cacheAsBitmap;
    if (t.visible)
        p.visible = *t.visible;
    if (t.backgroundColor)
        p.backgroundColor = t.backgroundColor;
    if (!t.clipActions.empty())
        p.clipActions = &t.clipActions;
}

} // namespace

DisplayObject* DisplayList::at(std::int32_t depth) const {
    auto it = std::lower_bound(m_objects.begin(), m_objects.end(), depth,
                               [](const auto& o, std::int32_t d) { return o->depth < d; });
    return it != m_objects.end() && (*it)->depth == depth ? it->get() : nullptr;
}

DisplayObject* DisplayList::byName(const QString& name, Qt::CaseSensitivity cs) const {
    for (const auto& o : m_objects) {
        if (!o->name.isEmpty() && o->name.compare(name, cs) == 0)
            return o.get();
    }
    return nullptr;
}

Player::Player(std::shared_ptr<const Movie> movie, const PlayerLimits& limits)
    : m_movie(std::move(movie)), m_limits(limits), m_root(std::make_unique<MovieClip>()) {
    m_root->m_timeline = m_movie->timeline.frames.empty() ? &emptyTimeline() : &m_movie->timeline;
    showFrame(*m_root, 0, 0, true);
}

Player::~Player() {
    clearList(m_root->m_list);
}

const Character* Player::character(std::uint16_t id) const {
    for (auto it = m_overrides.rbegin(); it != m_overrides.rend(); ++it) {
        if (it->first == id)
            return it->second;
    }
    return m_movie->dictionary.find(id);
}

void Player::advance() {
    m_pending.clear();
    tick(*m_root);
}

void Player::gotoFrame(std::int64_t frame) {
    gotoFrame(*m_root, frame);
}

void Player::gotoFrame(MovieClip& clip, std::int64_t frame) {
    m_pending.clear();
    const std::int64_t last = std::int64_t(clip.frameCount()) - 1;
    const std::size_t target = std::size_t(std::clamp<std::int64_t>(frame, 0, last));
    if (target == clip.m_frame)
        return;
    if (target > clip.m_frame)
        showFrame(clip, clip.m_frame + 1, target, false);
    else
        showFrame(clip, 0, target, true);
}

void Player::back() {
    stop();
    if (currentFrame() > 0)
        gotoFrame(std::int64_t(currentFrame()) - 1);
}

void Player::forward() {
    stop();
    gotoFrame(std::int64_t(currentFrame()) + 1);
}

void Player::tick(MovieClip& clip) {
    // Children already on stage move on before this timeline's new frame is shown.
    for (std::size_t i = 0; i < clip.m_list.m_objects.size(); ++i) {
        DisplayObject& o = *clip.m_list.m_objects[i];
        if (o.m_clip)
            tick(*o.m_clip);
        if (o.m_button)
            tick(o.m_button->m_host);
    }
    if (!clip.m_playing || clip.frameCount() <= 1)
        return;
    const std::size_t next = clip.m_frame + 1;
    if (next < clip.frameCount()) {
        showFrame(clip, next, next, false);
    } else if (&clip == m_root.get() && !m_looping) {
        clip.m_playing = false;
    } else {
        showFrame(clip, 0, 0, true);
    }
}

void Player::showFrame(MovieClip& clip, std::size_t from, std::size_t to, bool rebuild) {
    const auto& frames = clip.timeline().frames;
    to = std::min(to, frames.size() - 1);
    std::vector<Placement> placements;
    if (!rebuild) {
        placements.reserve(clip.m_list.size());
        for (const auto& o : clip.m_list.m_objects)
            placements.push_back(*o);
    }
    const bool isRoot = &clip == m_root.get();
    if (isRoot && rebuild) {
        m_overrides.clear();
        m_background.reset();
    }
    const std::size_t first = rebuild ? 0 : from;
    bool changed = rebuild;
    for (std::size_t f = first; f <= to; ++f) {
        const Frame& frame = frames[f];
        if (isRoot) {
            for (std::uint16_t id : frame.freed)
                m_overrides.push_back({id, nullptr});
            for (const auto& r : frame.redefined)
                m_overrides.push_back(r);
            if (frame.backgroundColor)
                m_background = frame.backgroundColor;
            // Only the latest entry per id matters; keep the list short on long movies.
            if (m_overrides.size() > 4096) {
                std::vector<std::pair<std::uint16_t, const Character*>> latest;
                for (auto it = m_overrides.rbegin(); it != m_overrides.rend(); ++it) {
                    if (std::none_of(latest.begin(), latest.end(),
                                     [&](const auto& e) { return e.first == it->first; }))
                        latest.push_back(*it);
                }
                m_overrides.assign(latest.rbegin(), latest.rend());
            }
        }
        for (const DisplayTag& t : frame.display) {
            changed = true;
            applyDisplayTag(placements, t);
        }
    }
    clip.m_frame = to;
    std::vector<MovieClip*> created;
    if (changed)
        reconcile(clip, placements, created);

    // Scripts: init blocks of every frame passed (once each), this frame's blocks, then the
    // first frames of the clips that appeared.
    for (std::size_t f = from; f <= to; ++f) {
        for (const InitAction& a : frames[f].initActions) {
            const void* key = a.actions.data();
            if (std::find(m_initDone.begin(), m_initDone.end(), key) != m_initDone.end())
                continue;
            m_initDone.push_back(key);
            m_pending.push_back({PendingAction::Kind::Init, m_root.get(), a.actions, a.spriteId});
        }
    }
    for (const auto& a : frames[to].actions)
        m_pending.push_back({PendingAction::Kind::Frame, &clip, a, 0});
    for (MovieClip* c : created) {
        for (const auto& a : c->timeline().frames[0].actions)
            m_pending.push_back({PendingAction::Kind::Frame, c, a, 0});
    }
}

void Player::reconcile(MovieClip& clip, std::vector<Placement>& placements,
                       std::vector<MovieClip*>& created) {
    auto old = std::move(clip.m_list.m_objects);
    clip.m_list.m_objects.clear();
    clip.m_list.m_objects.reserve(placements.size());
    std::size_t oi = 0;
    for (Placement& p : placements) {
        while (oi < old.size() && old[oi]->depth < p.depth)
            destroy(old[oi++]);
        std::unique_ptr<DisplayObject> keep;
        if (oi < old.size() && old[oi]->depth == p.depth) {
            auto& o = old[oi++];
            if (o->characterId == p.characterId && o->placedBy == p.placedBy &&
                o->character == character(p.characterId))
                keep = std::move(o);
            else
                destroy(o);
        }
        if (keep) {
            static_cast<Placement&>(*keep) = std::move(p);
            clip.m_list.m_objects.push_back(std::move(keep));
        } else if (auto made = instantiate(clip, p, created)) {
            clip.m_list.m_objects.push_back(std::move(made));
        }
    }
    while (oi < old.size())
        destroy(old[oi++]);
}

bool Player::isAncestorOwner(const MovieClip& parent, const Character* c) const {
    for (const MovieClip* m = &parent; m; m = m->m_parent) {
        if (m->m_owner == c)
            return true;
    }
    return false;
}

std::unique_ptr<DisplayObject> Player::instantiate(MovieClip& parent, const Placement& p,
                                                   std::vector<MovieClip*>& created) {
    const Character* c = character(p.characterId);
    if (!c || m_objectCount >= m_limits.maxDisplayObjects)
        return nullptr;
    auto o = std::make_unique<DisplayObject>();
    static_cast<Placement&>(*o) = p;
    o->character = c;
    ++m_objectCount;
    // A sprite or button inside itself, or nested too deep, stays an empty object.
    const bool canNest = parent.m_level + 1 < m_limits.maxNesting && !isAncestorOwner(parent, c);
    if (!canNest)
        return o;
    if (c->type == CharacterType::Sprite) {
        const auto* s = static_cast<const Sprite*>(c);
        auto clip = std::make_unique<MovieClip>();
        clip->m_timeline = s->timeline.frames.empty() ? &emptyTimeline() : &s->timeline;
        clip->m_sprite = s;
        clip->m_parent = &parent;
        clip->m_owner = c;
        clip->m_level = parent.m_level + 1;
        MovieClip* raw = clip.get();
        o->m_clip = std::move(clip);
        created.push_back(raw);
        // Frame 1 of a new sprite is shown at once; its scripts run after the parent's.
        showFirstFrame(*raw, created);
    } else if (c->type == CharacterType::Button) {
        auto b = std::make_unique<ButtonInstance>();
        b->m_button = static_cast<const Button*>(c);
        b->m_host.m_timeline = &emptyTimeline();
        b->m_host.m_parent = &parent;
        b->m_host.m_owner = c;
        b->m_host.m_level = parent.m_level + 1;
        b->m_host.m_playing = false;
        ButtonInstance* raw = b.get();
        o->m_button = std::move(b);
        buildButtonChildren(*raw, created);
    }
    return o;
}

void Player::applyDisplayTag(std::vector<Placement>& placements, const DisplayTag& t) const {
    auto it = findDepth(placements, t.depth);
    const bool exists = it != placements.end() && it->depth == t.depth;
    if (t.kind == DisplayTag::Kind::Remove) {
        if (exists)
            placements.erase(it);
        return;
    }
    if (t.characterId && !character(*t.characterId))
        return; // an undefined character places nothing
    // PlaceObject always places anew; PlaceObject2/3 with a character place anew unless they
    // modify an existing object; without one (move or not) they modify.
    if (t.version == 1 || (t.characterId && !(t.move && exists))) {
        Placement p;
        p.depth = t.depth;
        p.characterId = *t.characterId;
        p.placedBy = &t;
        applyAttributes(p, t);
        if (exists)
            *it = std::move(p);
        else
            placements.insert(it, std::move(p));
    } else if (exists) {
        if (t.characterId && *t.characterId != it->characterId) {
            it->characterId = *t.characterId;
            it->placedBy = &t;
        }
        applyAttributes(*it, t);
    }
}

void Player::showFirstFrame(MovieClip& clip, std::vector<MovieClip*>& created) {
    std::vector<Placement> placements;
    for (const DisplayTag& t : clip.timeline().frames[0].display)
        applyDisplayTag(placements, t);
    clip.m_frame = 0;
    reconcile(clip, placements, created);
}

void Player::buildButtonChildren(ButtonInstance& b, std::vector<MovieClip*>& created) {
    const std::uint8_t flag = b.m_state == ButtonState::Up     ? ButtonUp
                              : b.m_state == ButtonState::Over ? ButtonOver
                                                               : ButtonDown;
    std::vector<Placement> placements;
    for (const ButtonRecord& r : b.m_button->records) {
        if (!(r.states & flag) || !character(r.characterId))
            continue;
        auto it = findDepth(placements, r.depth);
        if (it != placements.end() && it->depth == r.depth)
            continue; // two records at one depth: the first one shows
        Placement p;
        p.depth = r.depth;
        p.characterId = r.characterId;
        p.matrix = r.matrix;
        p.colorTransform = r.colorTransform;
        p.blendMode = r.blendMode;
        p.filters = r.filters.empty() ? nullptr : &r.filters;
        placements.insert(it, std::move(p));
    }
    reconcile(b.m_host, placements, created);
}

void Player::setButtonState(ButtonInstance& button, ButtonState state) {
    if (button.m_state == state)
        return;
    button.m_state = state;
    std::vector<MovieClip*> created;
    buildButtonChildren(button, created);
    for (MovieClip* c : created) {
        for (const auto& a : c->timeline().frames[0].actions)
            m_pending.push_back({PendingAction::Kind::Frame, c, a, 0});
    }
}

void Player::destroy(std::unique_ptr<DisplayObject>& object) {
    if (!object)
        return;
    if (object->m_clip)
        clearList(object->m_clip->m_list);
    if (object->m_button)
        clearList(object->m_button->m_host.m_list);
    object.reset();
    --m_objectCount;
}

void Player::clearList(DisplayList& list) {
    for (auto& o : list.m_objects)
        destroy(o);
    list.m_objects.clear();
}

} // namespace swf
