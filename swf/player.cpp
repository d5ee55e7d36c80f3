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
    if (t.filters) {
        p.filters = t.filters->empty() ? nullptr : &*t.filters;
        p.scriptFilters.reset();
    }
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

// The first object at `depth` or above: lists are kept in depth order.
template <typename List> auto firstAtOrAbove(List& objs, std::int32_t depth) {
    return std::lower_bound(objs.begin(), objs.end(), depth,
                            [](const auto& o, std::int32_t d) { return o->depth < d; });
}

// Puts an object into its place by depth; the caller has emptied that depth.
void insertByDepth(std::vector<std::unique_ptr<DisplayObject>>& objs,
                   std::unique_ptr<DisplayObject> object) {
    const auto it = firstAtOrAbove(objs, object->depth);
    objs.insert(it, std::move(object));
}

} // namespace

DisplayObject* DisplayList::at(std::int32_t depth) const {
    auto it = firstAtOrAbove(m_objects, depth);
    return it != m_objects.end() && (*it)->depth == depth ? it->get() : nullptr;
}

DisplayObject* DisplayList::byName(const QString& name, Qt::CaseSensitivity cs) const {
    for (const auto& o : m_objects) {
        if (!o->name.isEmpty() && o->name.compare(name, cs) == 0)
            return o.get();
    }
    return nullptr;
}

const Character* LoadedMovie::character(std::uint16_t id) const {
    if (!m_overrides.empty()) {
        auto it = m_overrides.find(id);
        if (it != m_overrides.end())
            return it->second;
    }
    return m_movie->dictionary.find(id);
}

Player::Player(std::shared_ptr<const Movie> movie, const PlayerLimits& limits)
    : m_movie(std::move(movie)), m_limits(limits), m_root(std::make_unique<MovieClip>()) {
    m_main = makeOrigin(m_movie, QString());
    m_root->m_drawnEdges = &m_drawnEdges;
    m_root->m_origin = m_main.get();
    m_root->m_holds = m_main;
    m_root->m_timeline = m_movie->timeline.frames.empty() ? &emptyTimeline() : &m_movie->timeline;
    showFrame(*m_root, 0, 0, true);
}

Player::~Player() {
    m_releasing = true;
    for (auto& [n, level] : m_levels)
        destroy(level);
    m_levels.clear();
    clearList(m_root->m_list);
    releaseUnloaded();
}

const Character* Player::character(std::uint16_t id) const {
    return m_main->character(id);
}

std::shared_ptr<LoadedMovie> Player::makeOrigin(std::shared_ptr<const Movie> movie,
                                                const QString& url) {
    auto origin = std::make_shared<LoadedMovie>();
    origin->m_movie = std::move(movie);
    origin->m_url = url;
    origin->m_rootSprite = std::make_unique<Sprite>();
    return origin;
}

MovieClip* Player::movieRootOf(MovieClip& clip) const {
    MovieClip* c = &clip;
    for (std::size_t guard = 0; c && !c->m_holds && guard <= m_limits.maxNesting + 1; ++guard)
        c = c->m_parent;
    return c && c->m_holds ? c : m_root.get();
}

MovieClip* Player::level(int n) const {
    if (n == 0)
        return m_root.get();
    auto it = m_levels.find(n);
    return it == m_levels.end() ? nullptr : it->second->m_clip.get();
}

int Player::levelOf(const MovieClip& clip) const {
    if (&clip == m_root.get())
        return 0;
    for (const auto& [n, o] : m_levels) {
        if (o->m_clip.get() == &clip)
            return n;
    }
    return -1;
}

void Player::advance() {
    m_pending.clear();
    tick(*m_root);
    for (auto& [n, o] : m_levels) {
        if (o->m_clip)
            tick(*o->m_clip);
    }
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
    Placements placements;
    if (!rebuild) {
        for (const auto& o : clip.m_list.m_objects)
            placements.emplace_hint(placements.end(), o->depth, *o);
    } else {
        // Objects placed by scripts survive seeks.
        for (const auto& o : clip.m_list.m_objects) {
            if (!o->placedBy)
                placements.emplace_hint(placements.end(), o->depth, *o);
        }
    }
    const bool isRoot = &clip == m_root.get();
    // A movie's own root: FreeCharacter and redefinitions change its dictionary.
    LoadedMovie* const owner = clip.m_holds.get();
    if (owner && rebuild) {
        if (!owner->m_overrides.empty())
            ++m_dictionaryGeneration;
        owner->m_overrides.clear();
    }
    if (isRoot && rebuild)
        m_background.reset();
    const std::size_t first = rebuild ? 0 : from;
    bool changed = rebuild;
    for (std::size_t f = first; f <= to; ++f) {
        const Frame& frame = frames[f];
        if (owner) {
            if (!frame.freed.empty() || !frame.redefined.empty())
                ++m_dictionaryGeneration;
            for (std::uint16_t id : frame.freed)
                owner->m_overrides[id] = nullptr;
            for (const auto& [id, c] : frame.redefined)
                owner->m_overrides[id] = c;
        }
        if (isRoot && frame.backgroundColor)
            m_background = frame.backgroundColor;
        for (const DisplayTag& t : frame.display) {
            changed = true;
            applyDisplayTag(*clip.m_origin, placements, t);
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
            if (!clip.m_origin->m_initDone.insert(key).second)
                continue;
            m_pending.push_back(
                {PendingAction::Kind::Init, movieRootOf(clip), a.actions, a.spriteId});
        }
    }
    for (const auto& a : frames[to].actions)
        m_pending.push_back({PendingAction::Kind::Frame, &clip, a, 0});
    for (MovieClip* c : created) {
        for (const auto& a : c->timeline().frames[0].actions)
            m_pending.push_back({PendingAction::Kind::Frame, c, a, 0});
    }
}

void Player::reconcile(MovieClip& clip, Placements& placements, std::vector<MovieClip*>& created) {
    auto old = std::move(clip.m_list.m_objects);
    clip.m_list.m_objects.clear();
    clip.m_list.m_objects.reserve(placements.size());
    std::size_t oi = 0;
    for (auto& [depth, p] : placements) {
        while (oi < old.size() && old[oi]->depth < p.depth)
            destroy(old[oi++]);
        std::unique_ptr<DisplayObject> keep;
        if (oi < old.size() && old[oi]->depth == p.depth) {
            auto& o = old[oi++];
            // A clip holding a loaded movie stays as long as its placement does.
            if (o->characterId == p.characterId && o->placedBy == p.placedBy &&
                (o->m_holdsLoaded || o->m_ownText ||
                 o->character == clip.m_origin->character(p.characterId)))
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
    const Character* c = parent.m_origin->character(p.characterId);
    if (!c || m_objectCount >= m_limits.maxDisplayObjects)
        return nullptr;
    auto o = std::make_unique<DisplayObject>();
    static_cast<Placement&>(*o) = p;
    o->character = c;
    if (c->type == CharacterType::EditText)
        o->text = static_cast<const EditText*>(c)->initialText;
    ++m_objectCount;
    // A sprite or button inside itself, or nested too deep, stays an empty object.
    const bool canNest = parent.m_level + 1 < m_limits.maxNesting && !isAncestorOwner(parent, c);
    if (!canNest)
        return o;
    if (c->type == CharacterType::Sprite) {
        const auto* s = static_cast<const Sprite*>(c);
        auto clip = std::make_unique<MovieClip>();
        clip->m_drawnEdges = &m_drawnEdges;
        clip->m_timeline = s->timeline.frames.empty() ? &emptyTimeline() : &s->timeline;
        clip->m_sprite = s;
        clip->m_parent = &parent;
        clip->m_origin = parent.m_origin;
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
        b->m_host.m_drawnEdges = &m_drawnEdges;
        b->m_host.m_parent = &parent;
        b->m_host.m_origin = parent.m_origin;
        b->m_host.m_owner = c;
        b->m_host.m_level = parent.m_level + 1;
        b->m_host.m_playing = false;
        ButtonInstance* raw = b.get();
        o->m_button = std::move(b);
        buildButtonChildren(*raw, created);
    }
    return o;
}

void Player::applyDisplayTag(const LoadedMovie& origin, Placements& placements,
                             const DisplayTag& t) {
    auto it = placements.find(t.depth);
    const bool exists = it != placements.end();
    if (t.kind == DisplayTag::Kind::Remove) {
        if (exists)
            placements.erase(it);
        return;
    }
    if (t.characterId && !origin.character(*t.characterId))
        return; // an undefined character places nothing
    // PlaceObject always places anew; PlaceObject2/3 with a character place anew unless they
    // modify an existing object; without one (move or not) they modify.
    if (t.version == 1 || (t.characterId && !(t.move && exists))) {
        Placement p;
        p.depth = t.depth;
        p.characterId = *t.characterId;
        p.placedBy = &t;
        applyAttributes(p, t);
        placements.insert_or_assign(t.depth, std::move(p));
    } else if (exists) {
        Placement& old = it->second;
        if (t.characterId && *t.characterId != old.characterId) {
            old.characterId = *t.characterId;
            old.placedBy = &t;
        }
        applyAttributes(old, t);
    }
}

void Player::showFirstFrame(MovieClip& clip, std::vector<MovieClip*>& created) {
    Placements placements;
    for (const DisplayTag& t : clip.timeline().frames[0].display)
        applyDisplayTag(*clip.m_origin, placements, t);
    clip.m_frame = 0;
    reconcile(clip, placements, created);
}

void Player::buildButtonChildren(ButtonInstance& b, std::vector<MovieClip*>& created) {
    const std::uint8_t flag = b.m_state == ButtonState::Up     ? ButtonUp
                              : b.m_state == ButtonState::Over ? ButtonOver
                                                               : ButtonDown;
    Placements placements;
    for (const ButtonRecord& r : b.m_button->records) {
        if (!(r.states & flag) || !b.m_host.m_origin->character(r.characterId) ||
            placements.count(r.depth))
            continue; // two records at one depth: the first one shows
        Placement p;
        p.depth = r.depth;
        p.characterId = r.characterId;
        p.matrix = r.matrix;
        p.colorTransform = r.colorTransform;
        p.blendMode = r.blendMode;
        p.filters = r.filters.empty() ? nullptr : &r.filters;
        placements.emplace(r.depth, std::move(p));
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

namespace {
constexpr std::size_t kMaxUnloaded = 256;
}

bool Player::wantsUnload(const DisplayObject& object, std::size_t depth) const {
    if (!object.m_clip)
        return false;
    if (m_hasUnloadHandler(object))
        return true;
    if (depth > m_limits.maxNesting)
        return false;
    for (const auto& o : object.m_clip->m_list.m_objects) {
        if (wantsUnload(*o, depth + 1))
            return true;
    }
    return false;
}

void Player::forgetPending(const MovieClip& clip, std::size_t depth) {
    std::erase_if(m_pending, [&clip](const PendingAction& a) { return a.clip == &clip; });
    if (depth > m_limits.maxNesting)
        return;
    for (const auto& o : clip.m_list.m_objects) {
        if (o->m_clip)
            forgetPending(*o->m_clip, depth + 1);
    }
}

void Player::releaseUnloaded(std::size_t count) {
    const bool was = m_releasing;
    m_releasing = true;
    count = std::min(count, m_unloaded.size());
    // Taken out first: destroying one may reach the others (a parent going too).
    std::vector<std::unique_ptr<DisplayObject>> gone(
        std::make_move_iterator(m_unloaded.begin()),
        std::make_move_iterator(m_unloaded.begin() + std::ptrdiff_t(count)));
    m_unloaded.erase(m_unloaded.begin(), m_unloaded.begin() + std::ptrdiff_t(count));
    m_dying.insert(m_dying.end(), std::make_move_iterator(gone.begin()),
                   std::make_move_iterator(gone.end()));
    for (std::size_t i = 0; i < m_dying.size(); ++i)
        destroy(m_dying[i]);
    m_dying.clear();
    m_releasing = was;
}

void Player::destroy(std::unique_ptr<DisplayObject>& object) {
    if (!object)
        return;
    // A mask that leaves stops masking; an object that leaves lets its mask be drawn again.
    unlinkMasks(*object);
    if (object->m_clip && !m_releasing && m_hasUnloadHandler && m_unloaded.size() < kMaxUnloaded &&
        wantsUnload(*object, 0)) {
        forgetPending(*object->m_clip, 0);
        m_unloaded.push_back(std::move(object));
        return;
    }
    if (const MovieClip* going = object->m_clip     ? object->m_clip.get()
                                 : object->m_button ? &object->m_button->m_host
                                                    : nullptr) {
        // Kept clips whose parent goes now no longer have one.
        for (auto* list : {&m_unloaded, &m_dying}) {
            for (auto& u : *list) {
                if (u && u->m_clip && u->m_clip->m_parent == going)
                    u->m_clip->m_parent = nullptr;
            }
        }
    }
    if (m_onObjectDestroyed)
        m_onObjectDestroyed(*object);
    if (m_onTextDestroyed && object->character &&
        object->character->type == CharacterType::EditText)
        m_onTextDestroyed(*object);
    if (m_onClipDestroyed) {
        if (object->m_clip)
            m_onClipDestroyed(*object->m_clip);
        if (object->m_button)
            m_onClipDestroyed(object->m_button->m_host);
    }
    if (object->m_clip) {
        clearList(object->m_clip->m_list);
        // Scripts of a clip that left the stage do not run.
        const MovieClip* gone = object->m_clip.get();
        std::erase_if(m_pending, [gone](const PendingAction& a) { return a.clip == gone; });
    }
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

// --- Scripting -------------------------------------------------------------------------------

DisplayObject* Player::objectOf(const MovieClip& clip) const {
    if (!clip.m_parent)
        return nullptr;
    for (const auto& o : clip.m_parent->m_list.m_objects) {
        if (o->m_clip.get() == &clip)
            return o.get();
    }
    return nullptr;
}

namespace {

const MovieClip* findParent(const MovieClip& clip, const DisplayObject& object, std::size_t depth,
                            std::size_t maxDepth) {
    if (depth > maxDepth)
        return nullptr;
    for (const auto& o : clip.displayList().objects()) {
        if (o.get() == &object)
            return &clip;
        const MovieClip* inner = o->clip()     ? o->clip()
                                 : o->button() ? &o->button()->host()
                                               : nullptr;
        if (inner) {
            if (const MovieClip* found = findParent(*inner, object, depth + 1, maxDepth))
                return found;
        }
    }
    return nullptr;
}

} // namespace

const MovieClip* Player::parentOf(const DisplayObject& object) const {
    if (object.m_clip)
        return object.m_clip->m_parent;
    if (const MovieClip* found = findParent(*m_root, object, 0, m_limits.maxNesting + 2))
        return found;
    for (const auto& [n, level] : m_levels) {
        if (level->m_clip) {
            if (const MovieClip* found =
                    findParent(*level->m_clip, object, 0, m_limits.maxNesting + 2))
                return found;
        }
    }
    return nullptr;
}

std::optional<QTransform> Player::stageMatrix(const DisplayObject& object) const {
    const MovieClip* clip = object.m_clip.get();
    QTransform m;
    if (!clip) {
        // A shape, text or bitmap: placed by its parent clip's content matrix.
        clip = parentOf(object);
        if (!clip)
            return std::nullopt;
        m = object.matrix;
    }
    const DisplayObject* top = &object; // the object on the list of `clip`'s parent
    for (std::size_t guard = 0; guard <= m_limits.maxNesting + 2; ++guard) {
        if (clip == m_root.get()) {
            // The document's scroll window moves what the document holds.
            if (m_rootWindow && top->depth < m_rootWindow->stageDepth)
                m = m * m_rootWindow->offset();
            return m;
        }
        if (!clip->m_parent) {
            for (const auto& [n, level] : m_levels) {
                if (level->m_clip.get() == clip)
                    return m * level->matrix;
            }
            return std::nullopt; // removed, or never placed
        }
        const DisplayObject* holder = objectOf(*clip);
        if (!holder)
            return std::nullopt;
        // The clips holding the object scroll it; its own scroll rectangle moves only what it
        // holds.
        m = m * (holder == &object ? holder->matrix : holder->contentMatrix());
        top = holder;
        clip = clip->m_parent;
    }
    return std::nullopt;
}

void Player::setMask(DisplayObject& target, DisplayObject* mask) {
    if (mask == &target)
        mask = nullptr;
    if (target.m_scriptMask) {
        target.m_scriptMask->m_masking = nullptr;
        target.m_scriptMask = nullptr;
    }
    if (!mask)
        return;
    if (mask->m_masking)
        mask->m_masking->m_scriptMask = nullptr;
    mask->m_masking = &target;
    target.m_scriptMask = mask;
}

void Player::unlinkMasks(DisplayObject& object) {
    if (object.m_scriptMask) {
        object.m_scriptMask->m_masking = nullptr;
        object.m_scriptMask = nullptr;
    }
    if (object.m_masking) {
        object.m_masking->m_scriptMask = nullptr;
        object.m_masking = nullptr;
    }
}

DisplayObject* Player::placeBitmap(MovieClip& parent, std::int32_t depth,
                                   std::shared_ptr<const BitmapData> bitmap) {
    if (m_objectCount >= m_limits.maxDisplayObjects)
        return nullptr;
    if (!m_scriptBitmap)
        m_scriptBitmap = std::make_unique<Bitmap>(); // no pixels of its own
    auto made = std::make_unique<DisplayObject>();
    made->depth = depth;
    made->character = m_scriptBitmap.get();
    made->bitmapData = std::move(bitmap);
    ++m_objectCount;
    DisplayObject* result = made.get();
    removeAt(parent, depth);
    insertByDepth(parent.m_list.m_objects, std::move(made));
    return result;
}

std::unique_ptr<DisplayObject> Player::makeBitmap() {
    if (m_objectCount >= m_limits.maxDisplayObjects)
        return nullptr;
    if (!m_scriptBitmap)
        m_scriptBitmap = std::make_unique<Bitmap>();
    auto made = std::make_unique<DisplayObject>();
    made->character = m_scriptBitmap.get();
    ++m_objectCount;
    return made;
}

MovieClip* Player::placeClip(MovieClip& parent, std::uint16_t characterId, std::int32_t depth,
                             const QString& name, const Placement* copyFrom) {
    if (parent.m_level + 1 >= m_limits.maxNesting)
        return nullptr;
    const Character* c = characterId ? parent.m_origin->character(characterId) : nullptr;
    if (characterId && (!c || c->type != CharacterType::Sprite))
        return nullptr;
    Placement p;
    if (copyFrom)
        p = *copyFrom;
    p.depth = depth;
    p.characterId = characterId;
    p.name = name;
    p.placedBy = nullptr;
    p.clipDepth = 0;
    std::vector<MovieClip*> created;
    std::unique_ptr<DisplayObject> made;
    if (c) {
        made = instantiate(parent, p, created);
    } else if (m_objectCount < m_limits.maxDisplayObjects) {
        emptySprite();
        made = std::make_unique<DisplayObject>();
        static_cast<Placement&>(*made) = p;
        made->character = m_emptySprite.get();
        ++m_objectCount;
        auto clip = std::make_unique<MovieClip>();
        clip->m_drawnEdges = &m_drawnEdges;
        clip->m_timeline = &m_emptySprite->timeline;
        clip->m_sprite = m_emptySprite.get();
        clip->m_parent = &parent;
        clip->m_origin = parent.m_origin;
        clip->m_owner = m_emptySprite.get();
        clip->m_level = parent.m_level + 1;
        made->m_clip = std::move(clip);
    }
    if (!made || !made->m_clip)
        return nullptr;
    MovieClip* result = made->m_clip.get();
    removeAt(parent, depth);
    insertByDepth(parent.m_list.m_objects, std::move(made));
    for (MovieClip* m : created) {
        for (const auto& a : m->timeline().frames[0].actions)
            m_pending.push_back({PendingAction::Kind::Frame, m, a, 0});
    }
    return result;
}

DisplayObject* Player::placeText(MovieClip& parent, std::unique_ptr<EditText> text,
                                 std::int32_t depth, const QString& name) {
    if (!text || m_objectCount >= m_limits.maxDisplayObjects)
        return nullptr;
    auto made = std::make_unique<DisplayObject>();
    made->depth = depth;
    made->name = name;
    made->text = text->initialText;
    made->character = text.get();
    made->m_ownText = std::move(text);
    ++m_objectCount;
    DisplayObject* result = made.get();
    removeAt(parent, depth);
    insertByDepth(parent.m_list.m_objects, std::move(made));
    return result;
}

EditText* PlayerScripting::ownText(DisplayObject& field) {
    if (field.m_ownText)
        return field.m_ownText.get();
    if (!field.character || field.character->type != CharacterType::EditText)
        return nullptr;
    const auto& from = static_cast<const EditText&>(*field.character);
    auto copy = std::make_unique<EditText>();
    copy->id = from.id;
    copy->tagCode = from.tagCode;
    copy->bounds = from.bounds;
    copy->wordWrap = from.wordWrap;
    copy->multiline = from.multiline;
    copy->password = from.password;
    copy->readOnly = from.readOnly;
    copy->autoSize = from.autoSize;
    copy->noSelect = from.noSelect;
    copy->border = from.border;
    copy->background = from.background;
    copy->backgroundColor = from.backgroundColor;
    copy->borderColor = from.borderColor;
    copy->scroll = from.scroll;
    copy->wasStatic = from.wasStatic;
    copy->html = from.html;
    copy->useOutlines = from.useOutlines;
    copy->fontId = from.fontId;
    copy->font = from.font;
    copy->fontClass = from.fontClass;
    copy->fontHeight = from.fontHeight;
    copy->hasTextColor = from.hasTextColor;
    copy->textColor = from.textColor;
    copy->maxLength = from.maxLength;
    copy->hasLayout = from.hasLayout;
    copy->align = from.align;
    copy->leftMargin = from.leftMargin;
    copy->rightMargin = from.rightMargin;
    copy->indent = from.indent;
    copy->leading = from.leading;
    copy->variableName = from.variableName;
    copy->initialText = from.initialText;
    field.character = copy.get();
    field.m_ownText = std::move(copy);
    return field.m_ownText.get();
}

bool Player::removeAt(MovieClip& parent, std::int32_t depth) {
    auto& objs = parent.m_list.m_objects;
    auto it = firstAtOrAbove(objs, depth);
    if (it == objs.end() || (*it)->depth != depth)
        return false;
    std::unique_ptr<DisplayObject> gone = std::move(*it);
    objs.erase(it);
    destroy(gone);
    return true;
}

void Player::swapDepths(MovieClip& parent, std::int32_t a, std::int32_t b) {
    if (a == b)
        return;
    auto& objs = parent.m_list.m_objects;
    for (auto& o : objs) {
        if (o->depth == a)
            o->depth = b;
        else if (o->depth == b)
            o->depth = a;
    }
    std::stable_sort(objs.begin(), objs.end(),
                     [](const auto& x, const auto& y) { return x->depth < y->depth; });
}

const Sprite& Player::emptySprite() {
    if (!m_emptySprite) {
        m_emptySprite = std::make_unique<Sprite>();
        m_emptySprite->timeline.frames.resize(1);
    }
    return *m_emptySprite;
}

std::unique_ptr<DisplayObject> Player::makeObject(std::uint16_t characterId,
                                                  const std::shared_ptr<const Movie>& library) {
    m_limbo.m_timeline = &emptyTimeline();
    m_limbo.m_drawnEdges = &m_drawnEdges;
    // Scripts' objects come from level 0's library unless they name another.
    m_limbo.m_origin = m_main.get();
    if (library && library != m_movie) {
        std::shared_ptr<LoadedMovie>& origin = m_libraries[library.get()];
        if (!origin)
            origin = makeOrigin(library, QString());
        m_limbo.m_origin = origin.get();
    }
    Placement p;
    p.characterId = characterId;
    std::vector<MovieClip*> created;
    std::unique_ptr<DisplayObject> made;
    if (characterId) {
        made = instantiate(m_limbo, p, created);
    } else if (m_objectCount < m_limits.maxDisplayObjects) {
        const Sprite& empty = emptySprite();
        made = std::make_unique<DisplayObject>();
        static_cast<Placement&>(*made) = p;
        made->character = &empty;
        ++m_objectCount;
        auto clip = std::make_unique<MovieClip>();
        clip->m_drawnEdges = &m_drawnEdges;
        clip->m_timeline = &empty.timeline;
        clip->m_sprite = &empty;
        clip->m_owner = &empty;
        clip->m_level = 1;
        clip->m_origin = m_main.get();
        made->m_clip = std::move(clip);
    }
    if (made && made->m_clip)
        made->m_clip->m_parent = nullptr;
    if (made && made->m_button)
        made->m_button->m_host.m_parent = nullptr;
    // AVM1 frame actions of the new sprites mean nothing to the scripts that make these.
    std::erase_if(m_pending, [&](const PendingAction& a) {
        return std::find(created.begin(), created.end(), a.clip) != created.end();
    });
    return made;
}

std::unique_ptr<DisplayObject> Player::makeText(std::unique_ptr<EditText> text) {
    if (!text || m_objectCount >= m_limits.maxDisplayObjects)
        return nullptr;
    auto made = std::make_unique<DisplayObject>();
    made->text = text->initialText;
    made->character = text.get();
    made->m_ownText = std::move(text);
    ++m_objectCount;
    return made;
}

std::size_t Player::heightOf(const DisplayObject& object, std::size_t guard) const {
    if (!object.m_clip || guard > m_limits.maxNesting)
        return 1;
    std::size_t h = 0;
    for (const auto& o : object.m_clip->m_list.m_objects)
        h = std::max(h, heightOf(*o, guard + 1));
    return h + 1;
}

void Player::setLevels(MovieClip& clip, std::size_t level, std::size_t guard) {
    clip.m_level = level;
    if (guard > m_limits.maxNesting)
        return;
    for (const auto& o : clip.m_list.m_objects) {
        if (o->m_clip)
            setLevels(*o->m_clip, level + 1, guard + 1);
        if (o->m_button)
            setLevels(o->m_button->m_host, level + 1, guard + 1);
    }
}

bool Player::attach(MovieClip& parent, std::unique_ptr<DisplayObject>& object, std::int32_t depth) {
    if (!object || parent.m_level + heightOf(*object, 0) >= m_limits.maxNesting)
        return false;
    object->depth = depth;
    MovieClip* host = object->m_clip     ? object->m_clip.get()
                      : object->m_button ? &object->m_button->m_host
                                         : nullptr;
    if (host) {
        host->m_parent = &parent;
        setLevels(*host, parent.m_level + 1, 0);
    }
    removeAt(parent, depth);
    insertByDepth(parent.m_list.m_objects, std::move(object));
    return true;
}

std::unique_ptr<DisplayObject> Player::detach(MovieClip& parent, const DisplayObject& object) {
    auto& objs = parent.m_list.m_objects;
    auto it =
        std::find_if(objs.begin(), objs.end(), [&](const auto& o) { return o.get() == &object; });
    if (it == objs.end())
        return nullptr;
    std::unique_ptr<DisplayObject> gone = std::move(*it);
    objs.erase(it);
    // Off the list it no longer belongs to the timeline that placed it.
    gone->placedBy = nullptr;
    if (gone->m_clip)
        gone->m_clip->m_parent = nullptr;
    if (gone->m_button)
        gone->m_button->m_host.m_parent = nullptr;
    return gone;
}

void Player::setDepth(MovieClip& parent, DisplayObject& object, std::int32_t depth) {
    if (object.depth == depth)
        return;
    object.depth = depth;
    object.placedBy = nullptr;
    std::stable_sort(parent.m_list.m_objects.begin(), parent.m_list.m_objects.end(),
                     [](const auto& x, const auto& y) { return x->depth < y->depth; });
}

} // namespace swf

// --- Movies loaded by scripts ---------------------------------------------------------------

namespace swf {
namespace {

bool timelineHasActions(const Timeline& t) {
    for (const Frame& f : t.frames) {
        if (!f.actions.empty() || !f.initActions.empty())
            return true;
        for (const DisplayTag& d : f.display) {
            if (!d.clipActions.empty())
                return true;
        }
    }
    return false;
}

bool movieHasActions(const Movie& movie) {
    if (timelineHasActions(movie.timeline))
        return true;
    for (const auto& [id, c] : movie.dictionary.all()) {
        if (c->type == CharacterType::Sprite &&
            timelineHasActions(static_cast<const Sprite&>(*c).timeline))
            return true;
        if (c->type == CharacterType::Button && !static_cast<const Button&>(*c).actions.empty())
            return true;
    }
    return false;
}

} // namespace

bool Player::showMovie(MovieClip& clip, std::shared_ptr<const Movie> movie, const QString& url) {
    // A button's children follow its records; they cannot be replaced by a movie.
    if (clip.m_owner && clip.m_owner->type == CharacterType::Button)
        return false;
    std::shared_ptr<LoadedMovie> origin;
    if (movie) {
        // A movie with code is kept for good: functions it defined may be held elsewhere, and
        // they point into its bytes.
        const bool hasCode = !movie->usesAvm2 && movieHasActions(*movie);
        if (hasCode) {
            const std::size_t bytes = movie->file.body.size();
            if (m_keptBytes + bytes > m_limits.maxKeptBytes)
                return false;
            m_keptBytes += bytes;
            m_kept.push_back(movie);
        }
        origin = makeOrigin(std::move(movie), url);
    }
    // What the clip showed leaves as if removed, unload handlers included.
    clearList(clip.m_list);
    forgetPending(clip, 0);
    clip.m_drawing.reset();
    clip.m_frame = 0;
    clip.m_playing = true;
    DisplayObject* holder = objectOf(clip);
    if (origin) {
        clip.m_origin = origin.get();
        clip.m_holds = origin;
        clip.m_timeline =
            origin->movie().timeline.frames.empty() ? &emptyTimeline() : &origin->movie().timeline;
        clip.m_sprite = origin->m_rootSprite.get();
        clip.m_owner = origin->m_rootSprite.get();
        if (holder) {
            holder->character = origin->m_rootSprite.get();
            holder->m_holdsLoaded = true;
        }
    } else if (&clip != m_root.get()) {
        // Unloaded: an empty clip of the movie that holds it.
        if (!m_emptySprite) {
            m_emptySprite = std::make_unique<Sprite>();
            m_emptySprite->timeline.frames.resize(1);
        }
        clip.m_holds.reset();
        clip.m_origin = clip.m_parent ? clip.m_parent->m_origin : m_main.get();
        clip.m_timeline = &m_emptySprite->timeline;
        clip.m_sprite = m_emptySprite.get();
        clip.m_owner = m_emptySprite.get();
        if (holder) {
            holder->character = m_emptySprite.get();
            holder->m_holdsLoaded = true;
        }
        return true;
    } else {
        // Level 0 unloaded: the stage stays, empty.
        clip.m_timeline = &emptyTimeline();
        return true;
    }
    showFrame(clip, 0, 0, true);
    return true;
}

MovieClip* Player::loadLevel(int level, std::shared_ptr<const Movie> movie, const QString& url) {
    if (level < 0 || level > m_limits.maxLevel)
        return nullptr;
    if (level == 0)
        return showMovie(*m_root, std::move(movie), url) ? m_root.get() : nullptr;
    if (!movie) {
        unloadLevel(level);
        return nullptr;
    }
    auto it = m_levels.find(level);
    if (it == m_levels.end()) {
        if (m_objectCount >= m_limits.maxDisplayObjects)
            return nullptr;
        auto o = std::make_unique<DisplayObject>();
        o->depth = level;
        o->name = QStringLiteral("_level%1").arg(level);
        o->m_holdsLoaded = true;
        auto clip = std::make_unique<MovieClip>();
        clip->m_drawnEdges = &m_drawnEdges;
        clip->m_origin = m_main.get();
        clip->m_timeline = &emptyTimeline();
        o->m_clip = std::move(clip);
        ++m_objectCount;
        it = m_levels.emplace(level, std::move(o)).first;
    }
    MovieClip* clip = it->second->m_clip.get();
    if (!showMovie(*clip, std::move(movie), url))
        return nullptr;
    it->second->character = clip->m_owner;
    return clip;
}

void Player::unloadLevel(int level) {
    if (level == 0) {
        showMovie(*m_root, nullptr, QString());
        return;
    }
    auto it = m_levels.find(level);
    if (it == m_levels.end())
        return;
    std::unique_ptr<DisplayObject> gone = std::move(it->second);
    m_levels.erase(it);
    destroy(gone);
}

} // namespace swf
