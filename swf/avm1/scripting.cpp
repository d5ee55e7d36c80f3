#include "swf/avm1/scripting.h"

#include "swf/avm1/loading.h"
#include "swf/avm1/sound.h"
#include "swf/avm1/textinput.h"
#include "swf/player.h"

#include <cstdio>

namespace swf::avm1 {

// clip.cpp
QRectF localBoundsOf(const DisplayObject& o);

namespace {

enum ClipEvent : std::uint32_t {
    EvLoad = 0x01,
    EvEnterFrame = 0x02,
    EvUnload = 0x04,
    EvMouseMove = 0x08,
    EvMouseDown = 0x10,
    EvMouseUp = 0x20,
    EvKeyDown = 0x40,
    EvKeyUp = 0x80,
    EvPress = 0x400,
    EvRelease = 0x800,
    EvReleaseOutside = 0x1000,
    EvRollOver = 0x2000,
    EvRollOut = 0x4000,
    EvKeyPress = 0x20000,
};

constexpr std::size_t kMaxQueuedBlocks = 10000;

// Button key codes (CondKeyPress, clip KeyPress) from Key.getCode codes.
int buttonKeyCode(int code, int ascii) {
    switch (code) {
    case 37:
        return 1;
    case 39:
        return 2;
    case 36:
        return 3;
    case 35:
        return 4;
    case 45:
        return 5;
    case 46:
        return 6;
    case 8:
        return 8;
    case 13:
        return 13;
    case 38:
        return 14;
    case 40:
        return 15;
    case 33:
        return 16;
    case 34:
        return 17;
    case 9:
        return 18;
    case 27:
        return 19;
    default:
        return ascii >= 32 && ascii <= 126 ? ascii : 0;
    }
}

} // namespace

Scripting::Scripting(Player& player, const Limits& limits)
    : m_player(player), m_vm(std::make_unique<VM>(&player, player.movie().version(), limits)) {
    Limits l = limits;
    if (player.movie().scriptTimeoutSeconds && *player.movie().scriptTimeoutSeconds > 0)
        l.timeout = std::min(
            l.timeout,
            std::chrono::milliseconds(std::int64_t(*player.movie().scriptTimeoutSeconds) * 1000));
    if (player.movie().maxRecursionDepth && *player.movie().maxRecursionDepth > 0)
        l.maxRecursion = std::min<std::size_t>(l.maxRecursion, *player.movie().maxRecursionDepth);
    if (l.timeout != limits.timeout || l.maxRecursion != limits.maxRecursion)
        m_vm = std::make_unique<VM>(&player, player.movie().version(), l);
    m_vm->hooks.trace = [](const QString& s) { std::fprintf(stderr, "%s\n", qPrintable(s)); };
    m_vm->takePending = [this] { takePending(); };
    m_vm->runPending = [this] {
        takePending();
        runQueued();
    };
    // A clip showing a newly loaded movie gets its load event again, after its first frame.
    m_vm->clipReloaded = [this](MovieClip* c) { m_loaded.remove(c); };
    PlayerScripting(m_player).onClipDestroyed() = [this](MovieClip& c) {
        m_live.remove(&c);
        m_loaded.remove(&c);
        if (m_hover == &c)
            m_hover = nullptr;
        if (m_pressed == &c)
            m_pressed = nullptr;
        for (auto& q : m_queue) {
            if (q.first == &c)
                q.first = nullptr;
        }
        m_vm->clipRemoved(&c);
    };
    PlayerScripting(m_player).onTextDestroyed() = [this](DisplayObject& d) {
        m_vm->textRemoved(&d);
    };
    PlayerScripting(m_player).hasUnloadHandler() = [this](const DisplayObject& o) {
        return hasUnloadHandler(o);
    };
    m_vm->shapeHit = [this](MovieClip& c, QPointF px) -> std::optional<bool> {
        const DisplayObject* d = m_vm->displayObjectOf(&c);
        if (!hitTest || !d)
            return std::nullopt;
        return hitTest(*d, stageMatrix(&c, d), px);
    };
}

Scripting::~Scripting() {
    // Stored data is written when the movie closes, as the player does.
    m_vm->files().flushAll();
    PlayerScripting(m_player).onClipDestroyed() = nullptr;
    PlayerScripting(m_player).onTextDestroyed() = nullptr;
    PlayerScripting(m_player).hasUnloadHandler() = nullptr;
    PlayerScripting(m_player).releaseUnloaded();
}

QTransform Scripting::stageMatrix(MovieClip* clip, const DisplayObject* object) const {
    QTransform t;
    for (MovieClip* a = clip; a && a->parent(); a = a->parent()) {
        if (DisplayObject* d = m_vm->displayObjectOf(a); d)
            t = t * d->matrix;
        else if (a == clip && object)
            t = t * object->matrix;
    }
    return t;
}

bool Scripting::hasUnloadHandler(const DisplayObject& o) const {
    if (o.clipActions) {
        for (const ClipAction& a : *o.clipActions) {
            if (a.events & EvUnload)
                return true;
        }
    }
    Object* self = o.clip() ? m_vm->existingClipObject(o.clip()) : nullptr;
    const QString key = m_vm->key(QStringLiteral("onUnload"));
    int guard = 0;
    for (Object* p = self; p && guard < 256; p = p->proto, ++guard) {
        if (p->find(key))
            return true;
    }
    return false;
}

void Scripting::runUnloads() {
    if (m_unloading || PlayerScripting(m_player).unloaded().empty())
        return;
    m_unloading = true;
    // Handlers may remove more clips; those get their turn in the next round.
    for (int round = 0; round < 16 && !PlayerScripting(m_player).unloaded().empty(); ++round) {
        const std::size_t count = PlayerScripting(m_player).unloaded().size();
        for (std::size_t i = 0; i < count && !m_vm->quitRequested; ++i) {
            DisplayObject* d = PlayerScripting(m_player).unloaded()[i].get();
            // The clip's own clip event and method, then its children's.
            std::vector<Node> subtree;
            collect(d->clip(), d, subtree, 0);
            for (const Node& n : subtree)
                clipEvent(n, EvUnload, QStringLiteral("onUnload"));
        }
        PlayerScripting(m_player).releaseUnloaded(count);
    }
    PlayerScripting(m_player).releaseUnloaded();
    m_unloading = false;
}

void Scripting::syncTextFields() {
    std::vector<Object*> fields;
    for (const Node& n : nodes()) {
        for (const auto& o : n.clip->displayList().objects()) {
            if (o->character && o->character->type == CharacterType::EditText &&
                !static_cast<const EditText*>(o->character)->variableName.isEmpty())
                fields.push_back(m_vm->textFieldObject(o.get(), n.clip));
        }
    }
    for (Object* f : fields) {
        try {
            syncTextVariable(*m_vm, f);
        } catch (const ScriptThrow&) {
        } catch (const ScriptAbort& a) {
            m_vm->report(a);
            return;
        }
    }
}

void Scripting::viewResized(QSizeF viewPx) {
    if (m_vm->viewSize == viewPx)
        return;
    m_vm->viewSize = viewPx;
    if (m_vm->scaleMode != QLatin1String("noScale") || m_vm->quitRequested)
        return;
    m_vm->startFrameBudget();
    const std::vector<Object*> copy = m_vm->stageListeners;
    for (Object* l : copy) {
        const Value fn = m_vm->getMember(Value(l), QStringLiteral("onResize"));
        if (fn.isObject()) {
            m_vm->callFromHost(fn, Value(l), {});
            runQueued();
        }
    }
}

void Scripting::takePending() {
    for (const PendingAction& a : m_player.takePendingActions()) {
        if (m_queue.size() >= kMaxQueuedBlocks)
            break;
        m_queue.push_back({a.clip, a.actions});
    }
}

void Scripting::runQueued() {
    // Blocks queued while running (by gotos) run after the block that queued them.
    for (std::size_t i = 0; i < m_queue.size(); ++i) {
        auto [clip, code] = m_queue[i];
        if (!clip || m_vm->quitRequested)
            continue;
        m_vm->runBlock(code, clip);
    }
    m_queue.clear();
    runUnloads();
}

void Scripting::collect(MovieClip* clip, DisplayObject* object, std::vector<Node>& out, int depth) {
    if (!clip || depth > 256)
        return;
    out.push_back({clip, object});
    m_live.insert(clip);
    for (const auto& o : clip->displayList().objects()) {
        if (o->clip())
            collect(o->clip(), o.get(), out, depth + 1);
        else if (o->button()) {
            out.push_back({&o->button()->host(), o.get()});
            m_live.insert(&o->button()->host());
        }
    }
}

std::vector<Scripting::Node> Scripting::nodes() {
    std::vector<Node> out;
    collect(&m_player.root(), nullptr, out, 0);
    for (const auto& [n, level] : m_player.levels())
        collect(level->clip(), nullptr, out, 0);
    return out;
}

void Scripting::clipEvent(const Node& n, std::uint32_t flag, const QString& method, int keyCode) {
    if (!alive(n.clip) || m_vm->quitRequested)
        return;
    if (n.object && n.object->clipActions && n.object->clip()) {
        // Copy: a handler may replace the placement that holds the list.
        const std::vector<ClipAction> actions = *n.object->clipActions;
        for (const ClipAction& a : actions) {
            if (!(a.events & flag))
                continue;
            if (flag == EvKeyPress && a.keyCode != keyCode)
                continue;
            if (!alive(n.clip))
                return;
            m_vm->runBlock(a.actions, n.clip);
            runQueued();
        }
    }
    if (method.isEmpty() || !alive(n.clip))
        return;
    Object* o = m_vm->clipObject(n.clip);
    const Value fn = m_vm->getMember(Value(o), method);
    if (fn.isObject()) {
        m_vm->callFromHost(fn, Value(o), {});
        runQueued();
    }
}

void Scripting::afterAdvance() {
    if (m_vm->quitRequested)
        return;
    m_vm->startFrameBudget();
    m_vm->files().beginStep();
    takePending();
    runUnloads();
    if (m_first) {
        m_first = false;
    } else {
        // Clips already on stage get their enterFrame before the frame's scripts.
        for (const Node& n : nodes()) {
            if (m_loaded.contains(n.clip))
                clipEvent(n, EvEnterFrame, QStringLiteral("onEnterFrame"));
        }
    }
    runQueued();
    // New clips: load events after their parent's scripts.
    for (const Node& n : nodes()) {
        if (m_loaded.contains(n.clip))
            continue;
        m_loaded.insert(n.clip);
        if (n.object)
            clipEvent(n, EvLoad, QStringLiteral("onLoad"));
    }
    // Files asked for on earlier steps arrive now, after the frame's own scripts.
    m_vm->files().completeLoads([this] { runQueued(); });
    runIntervals();
    soundsCompleted();
    updateDrag();
    runUnloads();
    syncTextFields();
    if (!m_vm->textFocus.preedit.isEmpty() && m_vm->textFocus.field)
        showTextFocus(*m_vm); // the field's text may have changed under the composition
    updateFocusRect();
    if (++m_gcCountdown >= 30 || m_vm->objectCount() > 200000) {
        m_gcCountdown = 0;
        m_vm->collectGarbage();
    }
}

void Scripting::setSound(std::shared_ptr<sound::MovieSound> sound) {
    m_vm->sounds().setEngine(std::move(sound));
}

void Scripting::soundsCompleted() {
    // Streaming loads decode their next piece; onLoad once a file has all decoded.
    for (const auto& [o, ok] : m_vm->sounds().stepStreams(streamAhead(*m_vm))) {
        if (m_vm->quitRequested)
            return;
        const Value success(ok);
        if (!ok)
            m_vm->files().notice(QStringLiteral("loadSound: the file holds no MP3 sound"));
        m_vm->callFromHost(m_vm->getMember(Value(o), QStringLiteral("onLoad")), Value(o),
                           std::span<const Value>(&success, 1));
        runQueued();
    }
    for (Object* o : m_vm->sounds().takeCompleted()) {
        if (m_vm->quitRequested)
            return;
        const Value fn = m_vm->getMember(Value(o), QStringLiteral("onSoundComplete"));
        if (fn.isObject()) {
            m_vm->callFromHost(fn, Value(o), {});
            runQueued();
        }
    }
}

void Scripting::setFiles(const QString& moviePath, const QString& sharedObjectFolder) {
    m_vm->files().setMovie(moviePath, sharedObjectFolder);
}

void Scripting::tick() {
    if (m_vm->quitRequested)
        return;
    m_player.advance();
    afterAdvance();
}

void Scripting::runIntervals() {
    const std::int64_t now = m_vm->elapsedMs();
    std::vector<int> due;
    for (const auto& i : m_vm->intervals()) {
        if (i.nextMs <= now)
            due.push_back(i.id);
    }
    for (int id : due) {
        auto& list = m_vm->intervals();
        auto it =
            std::find_if(list.begin(), list.end(), [id](const auto& i) { return i.id == id; });
        if (it == list.end())
            continue;
        VM::Interval iv = *it;
        if (iv.once)
            list.erase(it);
        else
            it->nextMs = now + iv.periodMs;
        Value fn = iv.fn;
        if (!iv.method.isEmpty())
            fn = m_vm->getMember(iv.self, iv.method);
        m_vm->callFromHost(fn, iv.self, iv.args);
        runQueued();
        if (m_vm->quitRequested)
            return;
    }
}

void Scripting::updateDrag() {
    MovieClip* c = m_vm->dragClip;
    if (!c || !alive(c))
        return;
    QPointF p = m_vm->mouse + m_vm->dragOffset;
    if (MovieClip* parent = c->parent()) {
        QTransform t;
        for (MovieClip* a = parent; a && a->parent(); a = a->parent()) {
            if (DisplayObject* d = m_vm->displayObjectOf(a))
                t = t * d->matrix;
        }
        bool ok = false;
        if (!m_vm->dragLockCenter)
            p = m_vm->mouse;
        p = t.inverted(&ok).map(p * 20) / 20;
        if (!m_vm->dragLockCenter)
            p += m_vm->dragOffset;
    }
    if (m_vm->dragBounds) {
        const QRectF& b = *m_vm->dragBounds;
        p.setX(std::clamp(p.x(), b.left(), b.right()));
        p.setY(std::clamp(p.y(), b.top(), b.bottom()));
    }
    setClipProperty(*m_vm, c, 0, Value(p.x()));
    setClipProperty(*m_vm, c, 1, Value(p.y()));
}

void Scripting::broadcast(std::uint32_t flag, const QString& method, const QString& listenerMethod,
                          std::vector<Object*>& listeners, int keyCode) {
    m_vm->startFrameBudget();
    for (const Node& n : nodes())
        clipEvent(n, flag, method, keyCode);
    const std::vector<Object*> copy = listeners;
    for (Object* l : copy) {
        const Value fn = m_vm->getMember(Value(l), listenerMethod);
        if (fn.isObject()) {
            m_vm->callFromHost(fn, Value(l), {});
            runQueued();
        }
    }
    syncTextFields();
}

std::optional<Scripting::Node> Scripting::topUnderMouse() {
    std::optional<Node> found;
    for (const Node& n : nodes()) {
        if (!n.object)
            continue;
        const bool isButton = n.object->button() != nullptr;
        if (!isButton && !hasButtonEvents(*m_vm, n.clip, n.object))
            continue;
        const QTransform t = stageMatrix(n.clip, n.object);
        bool hit;
        if (hitTest) {
            hit = hitTest(*n.object, t, m_vm->mouse);
        } else {
            QRectF local;
            if (isButton) {
                const Button& b = n.object->button()->button();
                for (const ButtonRecord& rec : b.records) {
                    if (!(rec.states & ButtonHitTest))
                        continue;
                    const Character* c = m_player.character(rec.characterId);
                    QRectF r;
                    if (c && c->type == CharacterType::Shape) {
                        const Rect& sb = static_cast<const Shape*>(c)->bounds;
                        r = QRectF(sb.xMin, sb.yMin, sb.width(), sb.height());
                    } else if (c && c->type == CharacterType::Text) {
                        const Rect& sb = static_cast<const StaticText*>(c)->bounds;
                        r = QRectF(sb.xMin, sb.yMin, sb.width(), sb.height());
                    }
                    r = rec.matrix.mapRect(r);
                    local = local.isNull() ? r : local.united(r);
                }
            } else {
                const Value bounds =
                    m_vm->getMember(Value(m_vm->clipObject(n.clip)), QStringLiteral("getBounds"));
                const Value b = m_vm->callFromHost(bounds, Value(m_vm->clipObject(n.clip)), {});
                const double x0 = m_vm->toNumber(m_vm->getMember(b, QStringLiteral("xMin")));
                const double x1 = m_vm->toNumber(m_vm->getMember(b, QStringLiteral("xMax")));
                const double y0 = m_vm->toNumber(m_vm->getMember(b, QStringLiteral("yMin")));
                const double y1 = m_vm->toNumber(m_vm->getMember(b, QStringLiteral("yMax")));
                local = QRectF(QPointF(x0, y0) * 20, QPointF(x1, y1) * 20);
            }
            hit = t.mapRect(local).contains(m_vm->mouse * 20);
        }
        if (hit)
            found = n; // later nodes draw on top
    }
    return found;
}

void Scripting::buttonEvent(const Node& n, std::uint16_t condition, const QString& method) {
    if (!alive(n.clip))
        return;
    if (n.object && n.object->button()) {
        ButtonInstance* b = n.object->button();
        const Button& def = b->button();
        MovieClip* parent = n.clip->parent();
        for (const ButtonAction& a : def.actions) {
            if ((a.conditions & condition) && parent && alive(parent)) {
                m_vm->runBlock(a.actions, parent);
                runQueued();
            }
        }
    } else if (n.object && n.object->clipActions) {
        std::uint32_t flag = 0;
        switch (condition) {
        case CondOverUpToOverDown:
            flag = EvPress;
            break;
        case CondOverDownToOverUp:
            flag = EvRelease;
            break;
        case CondOutDownToIdle:
            flag = EvReleaseOutside;
            break;
        case CondIdleToOverUp:
            flag = EvRollOver;
            break;
        case CondOverUpToIdle:
            flag = EvRollOut;
            break;
        default:
            break;
        }
        if (flag)
            clipEvent(n, flag, QString());
    }
    if (alive(n.clip)) {
        Object* o = m_vm->clipObject(n.clip);
        const Value fn = m_vm->getMember(Value(o), method);
        if (fn.isObject()) {
            m_vm->callFromHost(fn, Value(o), {});
            runQueued();
        }
    }
}

void Scripting::mouseMove(QPointF stagePos) {
    m_vm->mouse = stagePos;
    m_vm->startFrameBudget();
    updateDrag();
    const auto top = topUnderMouse();
    MovieClip* now = top ? top->clip : nullptr;
    if (now != m_hover) {
        if (m_hover && alive(m_hover) && !m_mouseDown) {
            for (const Node& n : nodes()) {
                if (n.clip == m_hover) {
                    DisplayObject* d = n.object;
                    if (d && d->button())
                        m_player.setButtonState(*d->button(), ButtonState::Up);
                    buttonEvent(n, CondOverUpToIdle, QStringLiteral("onRollOut"));
                    break;
                }
            }
        }
        m_hover = now;
        if (top && !m_mouseDown) {
            if (top->object->button())
                m_player.setButtonState(*top->object->button(), ButtonState::Over);
            buttonEvent(*top, CondIdleToOverUp, QStringLiteral("onRollOver"));
        }
    }
    m_overText = !top && fieldUnderMouse().has_value();
    if (m_selectingText && m_mouseDown)
        if (const auto local = mouseInFocusedField())
            textWork([&] { dragInFocusedField(*m_vm, *local); });
    broadcast(EvMouseMove, QStringLiteral("onMouseMove"), QStringLiteral("onMouseMove"),
              m_vm->mouseListeners);
}

std::optional<bool> Scripting::handCursor() const {
    if (!m_hover || !alive(m_hover))
        return std::nullopt;
    Object* o = m_vm->existingClipObject(m_hover);
    return !o || m_vm->toBoolean(m_vm->getMember(Value(o), QStringLiteral("useHandCursor")));
}

void Scripting::mouseDown() {
    m_mouseDown = true;
    m_vm->startFrameBudget();
    const auto top = topUnderMouse();
    m_hover = top ? top->clip : nullptr;
    m_pressed = m_hover;
    // A field under the mouse (where no button or clip with mouse handlers is) takes the
    // keyboard focus, with the caret where it was pressed; a press elsewhere takes the focus
    // from the field that had it.
    m_selectingText = false;
    if (m_vm->buttonFocus) {
        // The mouse takes the keyboard focus from a button, and its rectangle with it.
        textWork([&] { setButtonFocus(*m_vm, nullptr, false); });
    }
    if (!top) {
        const auto hit = fieldUnderMouse();
        textWork([&] {
            if (hit && setTextFocus(*m_vm, hit->field, hit->parent, false)) {
                pressFocusedField(*m_vm, hit->local);
                m_selectingText = true;
            } else if (!hit && m_vm->textFocus.field) {
                setTextFocus(*m_vm, nullptr, nullptr, false);
            }
        });
    }
    if (top) {
        if (top->object->button())
            m_player.setButtonState(*top->object->button(), ButtonState::Down);
        takePending();
        runQueued();
        buttonEvent(*top, CondOverUpToOverDown, QStringLiteral("onPress"));
    }
    broadcast(EvMouseDown, QStringLiteral("onMouseDown"), QStringLiteral("onMouseDown"),
              m_vm->mouseListeners);
    updateFocusRect(); // a handler may have given a button the focus
}

void Scripting::mouseUp() {
    m_mouseDown = false;
    m_selectingText = false;
    m_vm->startFrameBudget();
    const auto top = topUnderMouse();
    MovieClip* pressed = m_pressed;
    m_pressed = nullptr;
    if (pressed && alive(pressed)) {
        for (const Node& n : nodes()) {
            if (n.clip != pressed)
                continue;
            const bool inside = top && top->clip == pressed;
            if (n.object && n.object->button())
                m_player.setButtonState(*n.object->button(),
                                        inside ? ButtonState::Over : ButtonState::Up);
            takePending();
            runQueued();
            if (inside)
                buttonEvent(n, CondOverDownToOverUp, QStringLiteral("onRelease"));
            else
                buttonEvent(n, CondOutDownToIdle, QStringLiteral("onReleaseOutside"));
            break;
        }
    }
    broadcast(EvMouseUp, QStringLiteral("onMouseUp"), QStringLiteral("onMouseUp"),
              m_vm->mouseListeners);
    updateFocusRect();
}

void Scripting::keyDown(int code, int ascii) {
    m_vm->keysDown.insert(code, true);
    m_vm->lastKey = code;
    m_vm->lastAscii = ascii;
    m_vm->startFrameBudget();
    const int bcode = buttonKeyCode(code, ascii);
    if (bcode) {
        // Button key conditions fire without focus.
        for (const Node& n : nodes()) {
            if (!n.object || !alive(n.clip))
                continue;
            if (ButtonInstance* b = n.object->button()) {
                for (const ButtonAction& a : b->button().actions) {
                    if (a.keyCode == bcode && alive(n.clip) && n.clip->parent() &&
                        alive(n.clip->parent())) {
                        m_vm->runBlock(a.actions, n.clip->parent());
                        runQueued();
                    }
                }
            } else {
                clipEvent(n, EvKeyPress, QString(), bcode);
            }
        }
    }
    broadcast(EvKeyDown, QString(), QStringLiteral("onKeyDown"), m_vm->keyListeners);
    // The listeners heard the key first; then it edits the focused field or moves the focus.
    const bool shift = m_vm->keysDown.value(keys::kShift, false);
    const bool ctrl = m_vm->keysDown.value(keys::kControl, false);
    if (code == keys::kTab && !ctrl)
        tabToNext(shift);
    else if (m_vm->textFocus.field)
        textWork([&] { focusedFieldKey(*m_vm, code, shift, ctrl); });
    else if (m_vm->buttonFocus && (code == keys::kEnter || code == 32))
        pressFocusedButton();
    updateFocusRect();
}

void Scripting::mouseDoubleClick() {
    if (m_selectingText && m_mouseDown)
        if (const auto local = mouseInFocusedField())
            textWork([&] { selectWordInFocusedField(*m_vm, *local); });
}

void Scripting::textInput(const QString& text) {
    if (m_vm->textFocus.field && !m_vm->quitRequested) {
        m_vm->startFrameBudget();
        textWork([&] { typeIntoFocusedField(*m_vm, text); });
    }
}

QString Scripting::selectedText(bool cut) {
    QString out;
    if (m_vm->textFocus.field) {
        m_vm->startFrameBudget();
        textWork([&] { out = takeFocusedSelection(*m_vm, cut); });
    }
    return out;
}

// Editing runs the field's handlers and sets its variable (whose setter is script): what they
// throw ends that work only, as a handler's error does.
template <typename F> void Scripting::textWork(F&& work) {
    try {
        work();
    } catch (const ScriptThrow&) {
    } catch (const ScriptAbort& a) {
        m_vm->report(a);
    }
    runQueued();
}

bool Scripting::shownOnStage(MovieClip* clip) const {
    int guard = 0;
    for (MovieClip* a = clip; a && a->parent() && guard < 1024; a = a->parent(), ++guard)
        if (const DisplayObject* d = m_vm->displayObjectOf(a); d && !d->visible)
            return false;
    return true;
}

// Text fields the user can click into, in drawing order, with the mouse in their coordinates.
std::vector<Scripting::FieldHit> Scripting::focusableFields() {
    std::vector<FieldHit> out;
    for (const Node& n : nodes()) {
        if (n.object && n.object->button())
            continue;
        bool shown = false, computed = false;
        QTransform parent;
        for (const auto& o : n.clip->displayList().objects()) {
            if (!o->visible || !takesTextFocus(*o))
                continue;
            if (!computed) {
                computed = true;
                shown = shownOnStage(n.clip);
                parent = stageMatrix(n.clip, nullptr);
            }
            if (!shown)
                break;
            bool ok = false;
            const QPointF local = (o->matrix * parent).inverted(&ok).map(m_vm->mouse * 20.0);
            if (ok)
                out.push_back({o.get(), n.clip, local});
        }
    }
    return out;
}

std::optional<Scripting::FieldHit> Scripting::fieldUnderMouse() {
    std::optional<FieldHit> found;
    for (const FieldHit& f : focusableFields()) {
        const Rect& b = static_cast<const EditText*>(f.field->character)->bounds;
        if (QRectF(b.xMin, b.yMin, b.width(), b.height()).contains(f.local))
            found = f; // later ones draw on top
    }
    return found;
}

std::optional<QPointF> Scripting::mouseInFocusedField() const {
    DisplayObject* d = m_vm->textFocus.field;
    MovieClip* parent = m_vm->textFocus.parent;
    if (!d || !parent || !alive(parent))
        return std::nullopt;
    bool ok = false;
    const QPointF local =
        (d->matrix * stageMatrix(parent, nullptr)).inverted(&ok).map(m_vm->mouse * 20.0);
    return ok ? std::optional(local) : std::nullopt;
}

// Tab goes through the input fields, the buttons and the clips with button events: by tabIndex
// when any of them has one (only those), else by their place on the stage, top to bottom and
// then left to right. Nothing inside a clip whose tabChildren is false takes part. A field
// reached has its whole text selected.
void Scripting::tabToNext(bool back) {
    struct Entry {
        double key1, key2;
        FieldHit hit;    // a field, or
        MovieClip* clip; // a button's host or a clip
    };
    std::vector<Entry> all, indexed;
    auto consider = [&](const Value& object, QPointF at, const FieldHit& hit, MovieClip* clip) {
        all.push_back({at.y(), at.x(), hit, clip});
        const Value index = m_vm->getMember(object, QStringLiteral("tabIndex"));
        if (!index.isNullish())
            indexed.push_back({m_vm->toNumber(index), 0, hit, clip});
    };
    // Clips that keep their children out of the order.
    auto closed = [this](MovieClip* c) {
        int guard = 0;
        for (; c && c->parent() && guard < 1024; c = c->parent(), ++guard) {
            Object* o = m_vm->existingClipObject(c);
            const Value v = o ? m_vm->getMember(Value(o), QStringLiteral("tabChildren")) : Value();
            if (!v.isNullish() && !m_vm->toBoolean(v))
                return true;
        }
        return false;
    };
    for (const FieldHit& f : focusableFields()) {
        if (!isInputText(*m_vm, *f.field) || closed(f.parent))
            continue;
        const Rect& b = static_cast<const EditText*>(f.field->character)->bounds;
        const QPointF at =
            (f.field->matrix * stageMatrix(f.parent, nullptr)).map(QPointF(b.xMin, b.yMin));
        consider(Value(m_vm->textFieldObject(f.field, f.parent)), at, f, nullptr);
    }
    for (const Node& n : nodes()) {
        if (!n.object || !n.object->visible || !takesButtonFocus(*m_vm, n.clip, n.object) ||
            !shownOnStage(n.clip->parent()) || closed(n.clip->parent()))
            continue;
        const QRectF r = stageMatrix(n.clip, n.object).mapRect(localBoundsOf(*n.object));
        consider(Value(m_vm->clipObject(n.clip)), r.topLeft(), FieldHit{}, n.clip);
    }
    std::vector<Entry>& order = indexed.empty() ? all : indexed;
    if (order.empty())
        return;
    std::stable_sort(order.begin(), order.end(), [](const Entry& a, const Entry& b) {
        return a.key1 != b.key1 ? a.key1 < b.key1 : a.key2 < b.key2;
    });
    std::size_t i = back ? order.size() - 1 : 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const bool here = order[k].clip ? order[k].clip == m_vm->buttonFocus
                                        : order[k].hit.field == m_vm->textFocus.field;
        if (here && (m_vm->buttonFocus || m_vm->textFocus.field))
            i = back ? (k + order.size() - 1) % order.size() : (k + 1) % order.size();
    }
    const Entry next = order[i];
    textWork([&] {
        if (next.clip) {
            setButtonFocus(*m_vm, next.clip, false);
        } else if (setTextFocus(*m_vm, next.hit.field, next.hit.parent, false) &&
                   m_vm->textFocus.field == next.hit.field) {
            m_vm->textFocus.selection = {0, qsizetype(1) << 30};
            showTextFocus(*m_vm);
        }
    });
    updateFocusRect();
}

std::optional<Scripting::Node> Scripting::nodeOf(MovieClip* clip) {
    if (!clip || !alive(clip))
        return std::nullopt;
    for (const Node& n : nodes())
        if (n.clip == clip)
            return n;
    return std::nullopt;
}

void Scripting::pressFocusedButton() {
    const auto n = nodeOf(m_vm->buttonFocus);
    if (!n || !n->object)
        return;
    // As a click: down, then up over it.
    if (ButtonInstance* b = n->object->button())
        m_player.setButtonState(*b, ButtonState::Down);
    takePending();
    runQueued();
    buttonEvent(*n, CondOverUpToOverDown, QStringLiteral("onPress"));
    // The press may have taken it off the stage.
    const auto still = nodeOf(n->clip);
    if (!still || !still->object)
        return;
    if (ButtonInstance* b = still->object->button())
        m_player.setButtonState(*b, m_hover == still->clip ? ButtonState::Over : ButtonState::Up);
    takePending();
    runQueued();
    buttonEvent(*still, CondOverDownToOverUp, QStringLiteral("onRelease"));
}

void Scripting::updateFocusRect() {
    std::optional<QRectF> rect;
    if (m_vm->buttonFocus && showsFocusRect(*m_vm, m_vm->buttonFocus)) {
        const auto n = nodeOf(m_vm->buttonFocus);
        if (n && n->object && n->object->visible && shownOnStage(n->clip->parent())) {
            const QRectF r = stageMatrix(n->clip, n->object).mapRect(localBoundsOf(*n->object));
            if (!r.isNull())
                rect = r;
        }
    }
    if (rect != m_player.focusRect())
        m_player.setFocusRect(rect);
}

void Scripting::composeText(const QString& preedit) {
    if (m_vm->textFocus.field && !m_vm->quitRequested)
        textWork([&] { composeInFocusedField(*m_vm, preedit); });
}

void Scripting::keyUp(int code, int ascii) {
    m_vm->keysDown.remove(code);
    m_vm->lastKey = code;
    m_vm->lastAscii = ascii;
    broadcast(EvKeyUp, QString(), QStringLiteral("onKeyUp"), m_vm->keyListeners);
}

int Scripting::keyCodeFromQt(int k) {
    switch (k) {
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_CapsLock:
        return 20;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    default:
        break;
    }
    if (k >= Qt::Key_0 && k <= Qt::Key_9)
        return 48 + (k - Qt::Key_0);
    if (k >= Qt::Key_A && k <= Qt::Key_Z)
        return 65 + (k - Qt::Key_A);
    if (k >= Qt::Key_F1 && k <= Qt::Key_F12)
        return 112 + (k - Qt::Key_F1);
    return 0;
}

} // namespace swf::avm1
