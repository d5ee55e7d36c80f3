#include "swf/avm2/runtime.h"

#include "swf/avm2/bitmaps.h"
#include "swf/avm2/display.h"
#include "swf/movie.h"

#include <cstdio>

namespace swf::avm2 {

namespace {
void printLine(const QString& line) {
    const QByteArray b = line.toUtf8();
    std::fprintf(stderr, "%s\n", b.constData());
}
} // namespace

Runtime::Runtime(std::shared_ptr<const Movie> movie, RuntimeOptions options)
    : m_movie(std::move(movie)), m_options(std::move(options)), m_vm(std::make_unique<VM>()) {
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

Runtime::~Runtime() = default;

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
    guarded("the stage", [&] {
        m_stage = static_cast<DisplayNode*>(vm.allocInstance(vm.stageClass));
        m_stage->isStage = true;
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
        // On the stage before its constructor runs, so `stage` is usable there.
        Object* inst = vm.allocInstance(c);
        m_root = static_cast<DisplayNode*>(inst);
        m_root->totalFrames = int(m_movie->frameCount());
        m_root->parent = m_stage;
        m_stage->children.push_back(m_root);
        vm.hostRoots.push_back(m_root);
        vm.constructInstance(c, inst, {});
    });
    if (m_root)
        guarded("addedToStage",
                [&] { dispatchSimple(vm, m_root, QStringLiteral("addedToStage"), false); });
    if (m_root)
        guarded("a frame script", [&] { runFrameScripts(m_root); });
}

void Runtime::runFrameScripts(DisplayNode* n) {
    if (n->pendingFrameScript) {
        n->pendingFrameScript = false;
        auto it = n->frameScripts.find(n->currentFrame - 1);
        if (it != n->frameScripts.end())
            m_vm->call(it->second, Value(static_cast<Object*>(n)), {});
    }
    const std::vector<DisplayNode*> kids = n->children;
    for (DisplayNode* c : kids)
        runFrameScripts(c);
}

void Runtime::broadcast(const QString& type) {
    // Every object with a listener, on the stage or not, in the order of the heap walk from
    // the stage (depth first), which is the order they were added for timeline objects.
    std::vector<DisplayNode*> nodes;
    std::vector<DisplayNode*> stack{m_stage};
    while (!stack.empty()) {
        DisplayNode* n = stack.back();
        stack.pop_back();
        nodes.push_back(n);
        for (auto it = n->children.rbegin(); it != n->children.rend(); ++it)
            stack.push_back(*it);
    }
    for (DisplayNode* n : nodes)
        dispatchSimple(*m_vm, n, type, false);
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
    if (m_root && m_root->playing && m_root->totalFrames > 1) {
        m_root->currentFrame = m_root->currentFrame % m_root->totalFrames + 1;
        m_root->pendingFrameScript = true;
    }
    guarded("enterFrame", [&] { broadcast(QStringLiteral("enterFrame")); });
    if (m_root)
        guarded("a frame script", [&] { runFrameScripts(m_root); });
    guarded("exitFrame", [&] { broadcast(QStringLiteral("exitFrame")); });
    m_vm->collectGarbage();
}

} // namespace swf::avm2
