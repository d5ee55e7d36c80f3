#include "swf/avm2/runtime.h"

#include "swf/avm2/bitmaps.h"
#include "swf/avm2/display.h"
#include "swf/avm2/media.h"
#include "swf/movie.h"
#include "swf/player.h"

#include <cstdio>

namespace swf::avm2 {

namespace {
void printLine(const QString& line) {
    const QByteArray b = line.toUtf8();
    std::fprintf(stderr, "%s\n", b.constData());
}
} // namespace

Runtime::Runtime(std::shared_ptr<const Movie> movie, RuntimeOptions options, Player* player)
    : m_movie(std::move(movie)), m_options(std::move(options)) {
    if (!player) {
        m_ownPlayer = std::make_unique<Player>(m_movie);
        player = m_ownPlayer.get();
    }
    m_player = player;
    m_vm = std::make_unique<VM>();
    m_tree = std::make_unique<DisplayTree>(*m_vm, *m_player);
    m_vm->displayTree = m_tree.get();
    m_tree->url = m_options.url;
    m_tree->scaleModeChanged = m_options.scaleModeChanged;
    m_tree->fullScreenRequested = m_options.fullScreenRequested;
    m_tree->movieBytes = std::max<std::size_t>(m_movie->header().declaredLength, 8);
    if (!m_options.error)
        m_options.error = printLine;
    m_vm->limits = m_options.limits;
    if (m_options.trace)
        m_vm->traceHook = m_options.trace;
    if (m_options.clock)
        m_vm->clock = m_options.clock;
    const auto& h = m_movie->header();
    m_vm->stageWidth = h.frameSize.width() / 20;
    m_vm->stageHeight = h.frameSize.height() / 20;
    m_vm->frameRate = h.effectiveFrameRate();
    auto bitmaps = std::make_shared<BitmapHost>();
    bitmaps->swfVersion = h.version;
    bitmaps->drawer = m_options.bitmapDrawer;
    bitmaps->movie = m_movie;
    m_vm->bitmaps = std::move(bitmaps);
}

Runtime::~Runtime() {
    // The VM's objects first: they hand their player objects back through the tree.
    m_vm.reset();
    m_tree.reset();
}

void Runtime::guarded(const char* what, const std::function<void()>& fn) {
    bool aborted = false;
    m_vm->beginEntry();
    try {
        fn();
    } catch (const ScriptThrow& t) {
        QString text = QStringLiteral("ActionScript 3: uncaught error in %1: %2")
                           .arg(QString::fromLatin1(what), m_vm->errorText(t.value));
        if (qEnvironmentVariableIsSet("REELWICK_AS3_STACK"))
            for (const QString& line : m_vm->unwindTrace)
                text += QLatin1Char('\n') + line;
        m_options.error(text);
    } catch (const ScriptAbort& a) {
        m_options.error(QStringLiteral("ActionScript 3: script stopped in %1: %2")
                            .arg(QString::fromLatin1(what), QString::fromStdString(a.reason)));
        // What the stopped script allocated and dropped must not starve what runs next.
        aborted = true;
    }
    m_vm->endEntry();
    m_vm->unwindTrace.clear();
    if (aborted)
        m_vm->collectGarbage();
    m_vm->callDepth = 0;
    m_vm->nativeDepth = 0;
}

void Runtime::loadBlocksOfFrame(std::size_t frame) {
    const auto& blocks = m_movie->abcBlocks;
    while (m_nextBlock < blocks.size() && blocks[m_nextBlock].frame <= frame) {
        const AbcBlock& b = blocks[m_nextBlock++];
        auto abc = Abc::parse(b.data);
        if (!abc) {
            m_options.error(QStringLiteral("ActionScript 3: block \"%1\" refused: %2")
                                .arg(b.name, QString::fromStdString(abc.error().message)));
            continue;
        }
        guarded("a script's initialisation", [&] { m_vm->loadAbc(*abc, !(b.flags & 1)); });
    }
}

void Runtime::start() {
    if (m_started)
        return;
    m_started = true;
    VM& vm = *m_vm;
    DisplayTree& tree = *m_tree;
    guarded("the stage", [&] {
        m_stage = static_cast<DisplayNode*>(vm.allocInstance(vm.stageClass));
        m_stage->isStage = true;
        m_stage->constructed = true;
        tree.stage = m_stage;
        vm.hostRoots.push_back(m_stage);
    });
    loadBlocksOfFrame(0);
    QString docClass;
    for (const auto& s : m_movie->symbolClasses)
        if (s.characterId == 0)
            docClass = s.name;
    guarded("the document class", [&] {
        Class* c = vm.movieClipClass;
        if (!docClass.isEmpty()) {
            Object* o = vm.lookupDefinition(docClass).object();
            if (o && o->kind == ObjectKind::Class)
                c = static_cast<Class*>(o);
            else
                m_options.error(
                    QStringLiteral("ActionScript 3: document class %1 not found").arg(docClass));
        }
        if (!c->isSubclassOf(vm.displayObjectClass)) {
            m_options.error(
                QStringLiteral("ActionScript 3: document class %1 is not a display object")
                    .arg(docClass));
            c = vm.movieClipClass;
        }
        // On the stage, with the first frame's children, before its constructor runs, so
        // `stage` and the named children are usable there.
        tree.pendingClip = &m_player->root();
        Object* inst = vm.allocInstance(c);
        tree.pendingClip = nullptr;
        m_root = static_cast<DisplayNode*>(inst);
        m_root->parent = m_stage;
        tree.root = m_root;
        vm.hostRoots.push_back(m_root);
        tree.bind(m_root, nullptr);
        m_root->constructed = true;
        vm.constructInstance(c, inst, {});
        tree.constructChildren(m_root);
    });
    if (m_root)
        guarded("addedToStage",
                [&] { dispatchSimple(vm, m_root, QStringLiteral("addedToStage"), false); });
    guarded("frameConstructed", [&] { tree.broadcast(QStringLiteral("frameConstructed")); });
    if (m_root)
        guarded("a frame script", [&] {
            for (int pass = 0; pass < 16 && runFrameScripts(m_root, 0); ++pass) {
            }
            for (DisplayNode* n : tree.playingOffList())
                runFrameScripts(n, 0);
        });
    guarded("exitFrame", [&] { tree.broadcast(QStringLiteral("exitFrame")); });
    // The movie is wholly loaded from the start: preloaders hear init and complete at once.
    if (tree.loaderInfo)
        guarded("a loaderInfo event", [&] {
            dispatchSimple(vm, tree.loaderInfo, QStringLiteral("init"), false);
            dispatchSimple(vm, tree.loaderInfo, QStringLiteral("complete"), false);
        });
}

bool Runtime::runFrameScripts(DisplayNode* n, int guard) {
    bool ran = false;
    if (n->clip) {
        const auto f = std::int64_t(n->clip->currentFrame());
        if (f != n->scriptFrame) {
            n->scriptFrame = f;
            auto it = n->frameScripts.find(int(f));
            if (it != n->frameScripts.end()) {
                ran = true;
                m_vm->call(it->second, Value(static_cast<Object*>(n)), {});
            }
        }
    }
    if (guard > 64)
        return ran;
    for (DisplayNode* c : m_tree->children(n))
        ran = runFrameScripts(c, guard + 1) || ran;
    return ran;
}

void Runtime::bindAndConstruct() {
    if (!m_root)
        return;
    guarded("a constructor", [&] {
        m_tree->bind(m_root, nullptr);
        m_tree->constructChildren(m_root);
        for (DisplayNode* n : m_tree->playingOffList()) {
            m_tree->bind(n, nullptr);
            m_tree->constructChildren(n);
        }
    });
}

void Runtime::timelineMoved() {
    m_player->takePendingActions();
    if (!m_started)
        return;
    guarded("a removed event", [&] { m_tree->dispatchLeaving(); });
    bindAndConstruct();
}

void Runtime::runTimers() {
    guarded("a timer", [&] { m_vm->runTimers(); });
}

void Runtime::advanceFrame() {
    if (!m_started) {
        start();
        return;
    }
    ++m_frame;
    if (m_frame < m_movie->frameCount())
        loadBlocksOfFrame(m_frame);
    runTimers();
    guarded("a sound or load event", [&] { pumpMedia(*m_vm); });
    DisplayTree& tree = *m_tree;
    m_player->advance();
    // Clips that scripts hold off the list play on too.
    const std::vector<DisplayNode*> offList = tree.playingOffList();
    for (DisplayNode* n : offList)
        tree.scripting.advanceOffList(*n->clip);
    // The player's queue of AVM1 actions means nothing to an ActionScript 3 movie.
    m_player->takePendingActions();
    guarded("a removed event", [&] { tree.dispatchLeaving(); });
    guarded("a timeline object", [&] {
        if (m_root)
            tree.bind(m_root, nullptr);
        for (DisplayNode* n : tree.playingOffList())
            tree.bind(n, nullptr);
    });
    guarded("enterFrame", [&] { tree.broadcast(QStringLiteral("enterFrame")); });
    bindAndConstruct();
    guarded("frameConstructed", [&] { tree.broadcast(QStringLiteral("frameConstructed")); });
    if (m_root)
        guarded("a frame script", [&] {
            for (int pass = 0; pass < 16 && runFrameScripts(m_root, 0); ++pass) {
            }
            for (DisplayNode* n : tree.playingOffList())
                runFrameScripts(n, 0);
        });
    guarded("exitFrame", [&] { tree.broadcast(QStringLiteral("exitFrame")); });
    if (tree.invalidated) {
        tree.invalidated = false;
        guarded("render", [&] { tree.broadcast(QStringLiteral("render")); });
    }
    // An object that listens for a broadcast event is kept for it, on the list or not.
    std::vector<Object*> listening;
    for (DisplayNode* held : {tree.focus, tree.over, tree.pressed})
        if (held)
            listening.push_back(held);
    for (DisplayNode* n : tree.broadcasters)
        for (const auto& [type, list] : n->listeners)
            if (!list.empty() && isBroadcastEvent(type)) {
                listening.push_back(n);
                break;
            }
    m_vm->collectGarbage(listening);
}

bool Runtime::mouseHidden() const {
    return m_vm->mediaHost && m_vm->mediaHost->mouseHidden;
}

void Runtime::setSound(std::shared_ptr<sound::MovieSound> sound) {
    setSoundEngine(*m_vm, std::move(sound));
}

bool Runtime::quitRequested() const {
    return m_tree && m_tree->quitRequested;
}

namespace {
bool within(const DisplayNode* n, const DisplayNode* ancestor) {
    for (; n; n = n->parent)
        if (n == ancestor)
            return true;
    return false;
}
} // namespace

void Runtime::mouseMove(QPointF stageTwips) {
    DisplayTree& tree = *m_tree;
    tree.mouse = stageTwips;
    if (!m_root)
        return;
    guarded("a mouse event", [&] {
        DisplayNode* target = tree.mouseTarget(stageTwips);
        DisplayNode* old = tree.over;
        if (target != old) {
            tree.over = target;
            // out and rollOut leave the old object (rollOut for each of its ancestors the
            // mouse left, inside out), then over and rollOver enter the new one (outside in).
            if (old) {
                tree.mouseEvent(old, QStringLiteral("mouseOut"), true, target, m_mouseDown);
                for (DisplayNode* n = old; n && !within(target, n); n = n->parent)
                    tree.mouseEvent(n, QStringLiteral("rollOut"), false, target, m_mouseDown);
            }
            if (target) {
                tree.mouseEvent(target, QStringLiteral("mouseOver"), true, old, m_mouseDown);
                std::vector<DisplayNode*> entered;
                for (DisplayNode* n = target; n && !within(old, n); n = n->parent)
                    entered.push_back(n);
                for (auto it = entered.rbegin(); it != entered.rend(); ++it)
                    tree.mouseEvent(*it, QStringLiteral("rollOver"), false, old, m_mouseDown);
            }
        }
        tree.mouseEvent(target, QStringLiteral("mouseMove"), true, nullptr, m_mouseDown);
        if (m_mouseDown)
            dragSelect(*m_vm);
    });
}

void Runtime::mouseDown() {
    m_mouseDown = true;
    m_tree->doublePress = false;
    if (!m_root)
        return;
    guarded("a mouse event", [&] {
        DisplayTree& tree = *m_tree;
        DisplayNode* target = tree.mouseTarget(tree.mouse);
        tree.pressed = target;
        tree.mouseEvent(target, QStringLiteral("mouseDown"), true, nullptr, true);
        focusOnClick(*m_vm, target);
    });
}

void Runtime::mouseUp() {
    m_mouseDown = false;
    if (!m_root)
        return;
    guarded("a mouse event", [&] {
        DisplayTree& tree = *m_tree;
        DisplayNode* target = tree.mouseTarget(tree.mouse);
        DisplayNode* pressed = std::exchange(tree.pressed, nullptr);
        const bool second = std::exchange(tree.doublePress, false);
        tree.mouseEvent(target, QStringLiteral("mouseUp"), true, nullptr, false);
        // A click is a press and a release on the same object; the second click on an object
        // that asks for them is a double click instead.
        if (target && target == pressed) {
            if (second && target == tree.lastClicked && target->doubleClickEnabled) {
                tree.lastClicked = nullptr;
                tree.mouseEvent(target, QStringLiteral("doubleClick"), true, nullptr, false);
            } else {
                tree.lastClicked = target;
                tree.mouseEvent(target, QStringLiteral("click"), true, nullptr, false);
            }
        } else {
            tree.lastClicked = nullptr;
        }
    });
}

void Runtime::mouseDoubleClick() {
    m_tree->doublePress = m_mouseDown;
    if (m_root && m_mouseDown)
        guarded("a mouse event", [&] { selectWordOnDoubleClick(*m_vm); });
}

void Runtime::mouseWheel(int delta) {
    if (!m_root || delta == 0)
        return;
    guarded("a mouse event", [&] {
        DisplayTree& tree = *m_tree;
        DisplayNode* target = tree.mouseTarget(tree.mouse);
        tree.mouseEvent(target, QStringLiteral("mouseWheel"), true, nullptr, m_mouseDown, delta);
        if (target && tree.mouseTarget(tree.mouse) == target)
            scrollOnWheel(*m_vm, target, delta);
    });
}

Runtime::Cursor Runtime::cursor() const {
    const DisplayTree& tree = *m_tree;
    // Mouse.cursor, unless "auto", names the pointer whatever is under it.
    if (const MediaHost* media = m_vm->mediaHost.get()) {
        if (media->cursor == QLatin1String("button") || media->cursor == QLatin1String("hand"))
            return Cursor::Hand;
        if (media->cursor == QLatin1String("ibeam"))
            return Cursor::IBeam;
        if (media->cursor == QLatin1String("arrow"))
            return Cursor::Arrow;
    }
    if (!m_root || !tree.over)
        return Cursor::Arrow;
    if (isEditableOrSelectableText(tree.over))
        return Cursor::IBeam;
    // A SimpleButton, or a sprite in button mode, at or above the object under the mouse.
    const Class* button = nullptr;
    if (Object* b = m_vm->lookupDefinition(QStringLiteral("flash.display::SimpleButton")).object())
        button = b->kind == ObjectKind::Class ? static_cast<const Class*>(b) : nullptr;
    for (const DisplayNode* n = tree.over; n && !n->isStage; n = n->parent) {
        if ((button && n->cls->isSubclassOf(button)) ||
            (n->buttonMode && n->cls->isSubclassOf(m_vm->spriteClass)))
            return n->useHandCursor ? Cursor::Hand : Cursor::Arrow;
    }
    return Cursor::Arrow;
}

void Runtime::viewResized(QSizeF viewPx) {
    DisplayTree& tree = *m_tree;
    if (tree.viewSize == viewPx)
        return;
    tree.viewSize = viewPx;
    if (m_stage && m_started && tree.scaleMode == QLatin1String("noScale"))
        guarded("a resize event",
                [&] { dispatchSimple(*m_vm, m_stage, QStringLiteral("resize"), false); });
}

void Runtime::fullScreenChanged(bool on) {
    // Before the movie starts there is no one to tell, only the state to read later.
    if (!m_stage || !m_started) {
        m_tree->displayState = on ? QStringLiteral("fullScreen") : QStringLiteral("normal");
        return;
    }
    guarded("a full-screen event", [&] { hostFullScreenChanged(*m_vm, on); });
}

QString Runtime::stageAlign() const {
    return m_tree ? m_tree->align : QString();
}

void Runtime::keyDown(int code, int charCode) {
    if (code == 16)
        m_shiftDown = true;
    else if (code == 17)
        m_ctrlDown = true;
    if (m_root)
        guarded("a key event", [&] {
            m_tree->keyEvent(QStringLiteral("keyDown"), code, charCode);
            // The focused object heard the key first; then it edits text or moves the focus.
            focusKey(*m_vm, code, m_shiftDown, m_ctrlDown);
        });
}

void Runtime::composeText(const QString& preedit) {
    if (m_root)
        guarded("text input", [&] { swf::avm2::composeText(*m_vm, preedit); });
}

QString Runtime::selectedText(bool cut) {
    QString out;
    if (m_root)
        guarded("text input", [&] { out = takeSelectedText(*m_vm, cut); });
    return out;
}

void Runtime::textInput(const QString& text) {
    if (m_root)
        guarded("text input", [&] { typeText(*m_vm, text); });
}

void Runtime::keyUp(int code, int charCode) {
    if (code == 16)
        m_shiftDown = false;
    else if (code == 17)
        m_ctrlDown = false;
    if (m_root)
        guarded("a key event", [&] { m_tree->keyEvent(QStringLiteral("keyUp"), code, charCode); });
}

} // namespace swf::avm2
