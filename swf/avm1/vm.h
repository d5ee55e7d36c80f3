#pragma once

// The AVM1 interpreter: runs action records against the object model and, through the
// Player, the movie's timelines.

#include "swf/avm1/value.h"
#include "swf/textedit.h"
#include "swf/textfields.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPointF>
#include <QRectF>
#include <QSet>
#include <QSizeF>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace swf {
class Player;
class MovieClip;
class DisplayObject;
class BitmapBudget;
class BitmapDrawer;
} // namespace swf

namespace swf::avm1 {

class ScriptSounds;
class ScriptFiles;

struct Limits {
    std::chrono::milliseconds timeout{15000}; // per frame, over all scripts of the frame
    std::size_t maxRecursion = 256;
    std::size_t maxObjects = 2'000'000;
    std::size_t maxStack = 1'000'000;
    qsizetype maxStringLength = 16 << 20;
    std::size_t maxArrayLength = 1 << 22;
};

// What a script asks of the world outside the movie.
struct HostHooks {
    std::function<void(const QString&)> trace;   // trace() output
    std::function<void(const QString&)> warning; // problems the debug player reports
    std::function<void(const QString& command, const QString& args)> fscommand;
    // http(s) to _blank may open the browser after the user agrees; the default refuses.
    std::function<bool(const QString& url)> confirmOpenUrl;
    std::function<void(const QString& url)> openUrl;
    // Lines for standard error that are not script output (refused requests).
    std::function<void(const QString&)> notice;
    // A script set Stage.scaleMode: "showAll", "noBorder", "exactFit" or "noScale".
    std::function<void(const QString& mode)> scaleModeChanged;
};

// Thrown by ActionThrow and by built-ins; caught by Try or reported at the top.
struct ScriptThrow {
    Value value;
};
// Ends every script running now: corrupt code, the time budget, memory.
struct ScriptAbort {
    QString reason;
    bool corrupt = false; // reported as the debug player does
};

class VM {
public:
    VM(Player* player, std::uint8_t version, const Limits& limits = {});
    ~VM();
    VM(const VM&) = delete;
    VM& operator=(const VM&) = delete;

    HostHooks hooks;
    // BitmapData: the movie's share of bitmap memory, and the renderer's drawing and filters
    // (without one, draw and applyFilter do nothing).
    std::shared_ptr<BitmapBudget> bitmapBudget;
    std::shared_ptr<BitmapDrawer> bitmapDrawer;
    // Sound objects and StopSounds; plays through the engine the host attached, if any.
    ScriptSounds& sounds() { return *m_sounds; }
    // Files beside the movie and SharedObjects (loading.h).
    ScriptFiles& files() { return *m_files; }
    // The version of the movie whose code runs now: a loaded movie keeps its own rules.
    std::uint8_t version() const { return m_version; }
    std::uint8_t exchangeVersion(std::uint8_t v) { return std::exchange(m_version, v); }
    Player* player() const { return m_player; }
    const Limits& limits() const { return m_limits; }

    // Runs one action block on a timeline (frame, button, clip event and init actions).
    // Errors end the block; they never escape.
    void runBlock(std::span<const std::uint8_t> code, MovieClip* target);
    // Runs a frame's actions inside a running script (ActionCall).
    void runNested(std::span<const std::uint8_t> code, MovieClip* target);
    void report(const ScriptAbort& a);
    // Calls a function from outside any script (events, intervals); errors are reported.
    Value callFromHost(const Value& fn, const Value& self, std::span<const Value> args);
    // Starts the time budget of a new frame.
    void startFrameBudget();

    // Conversions, as the running movie's version defines them.
    double toNumber(const Value& v);
    QString toString(const Value& v);
    bool toBoolean(const Value& v) const;
    Value toPrimitive(const Value& v, bool preferString = false);
    std::int32_t toInt(const Value& v) { return toInt32(toNumber(v)); }
    QString typeOf(const Value& v) const;
    QString key(const QString& name) const { return m_version >= 7 ? name : name.toLower(); }

    Value getMember(const Value& object, const QString& name);
    // Whether the object or its prototypes have the property; its value in `out`.
    bool findMember(const Value& object, const QString& name, Value& out);
    void gotoFrame(MovieClip* clip, std::int64_t frame);
    void setMember(const Value& object, const QString& name, const Value& v);
    Value call(const Value& fn, const Value& self, std::span<const Value> args,
               Object* home = nullptr);
    Value construct(const Value& ctor, std::span<const Value> args);
    bool instanceOf(const Value& v, const Value& ctor);

    Object* newObject();
    // A Boolean, Number or String object holding a primitive (for `this` in its methods).
    Object* box(const Value& primitive);
    Object* newArray(std::vector<Value> elements = {});
    Object* newFunction(NativeFn fn, Object* prototype = nullptr);
    // Sets a built-in, hidden from for..in.
    void define(Object* o, const QString& name, Value v, std::uint8_t flags = DontEnum);
    void defineMethod(Object* o, const QString& name, NativeFn fn);
    Object* global() const { return m_global; }
    Object* objectProto() const { return m_objectProto; }
    Object* functionProto() const { return m_functionProto; }
    Object* arrayProto() const { return m_arrayProto; }
    Object* clipProto() const { return m_clipProto; }

    // The script object of a timeline, made on first use.
    Object* clipObject(MovieClip* clip);
    // A timeline left the stage: its object stops addressing it.
    void clipRemoved(MovieClip* clip);
    // The script object of a timeline if it has one; never makes one.
    Object* existingClipObject(MovieClip* clip) const { return m_clipObjects.value(clip); }
    // The TextField object of an edit text on stage, made on first use; and when it goes.
    Object* textFieldObject(DisplayObject* field, MovieClip* parent);
    void textRemoved(DisplayObject* field);
    // Formats of the fields scripts formatted (setTextFormat, setNewTextFormat).
    QHash<DisplayObject*, FieldFormats> fieldFormats;
    // The text field with the keyboard focus (Selection, textinput.cpp), its selection, and
    // what TextField.restrict allows of each field (absent: everything).
    struct TextFocus {
        DisplayObject* field = nullptr;
        MovieClip* parent = nullptr;
        TextSelection selection;
        QString preedit; // what an input method is composing at the caret, not yet text
    } textFocus;
    // The button (its host clip) or clip with button events that has the keyboard focus
    // instead of a text field, and whether it shows the focus rectangle (see textinput.h).
    MovieClip* buttonFocus = nullptr;
    // _focusrect: the movie's (set on level 0), and those set on buttons and clips.
    bool movieFocusRect = true;
    QHash<MovieClip*, bool> focusRects;
    QHash<DisplayObject*, QString> fieldRestrict;
    // Fields shown through a style sheet (TextField.styleSheet), which take no typing.
    QSet<const DisplayObject*> styledFields;
    std::vector<Object*> selectionListeners;
    // Stage.scaleMode and Stage.align as scripts set them; in noScale mode Stage.width and
    // height are the host's view size.
    QString scaleMode = QStringLiteral("showAll");
    QString stageAlign;
    std::optional<QSizeF> viewSize; // the host's view, pixels; used for noScale
    std::vector<Object*> stageListeners;
    // Whether a stage point (pixels) lies inside a clip's filled or stroked outlines.
    // Null when the host cannot tell; the bounding box is used then.
    std::function<std::optional<bool>(MovieClip& clip, QPointF stagePx)> shapeHit;
    // Level 0's root.
    MovieClip* rootClip() const;
    // `_root` as code on a timeline sees it: the root of its level, or the clip a movie was
    // loaded into when that clip's `_lockroot` is set.
    MovieClip* rootOf(MovieClip* from) const;
    // The clip of _levelN, or null.
    MovieClip* levelClip(int n) const;
    // Clips whose `_lockroot` a script set.
    QSet<MovieClip*> lockRoots;
    QString targetPath(MovieClip* clip) const;
    // A timeline by slash or dot path from `base`.
    MovieClip* resolveTarget(const QString& path, MovieClip* base);
    DisplayObject* displayObjectOf(MovieClip* clip) const;

    // Throws a value as ActionThrow does.
    [[noreturn]] void throwValue(const Value& v) { throw ScriptThrow{v}; }
    void warn(const QString& text);
    // Counts work against the frame's time and memory budget; throws ScriptAbort past it.
    void checkBudget(unsigned cost = 1);
    // Frees unreachable objects; only between scripts.
    void collectGarbage();
    std::size_t objectCount() const { return m_heap.size(); }
    qsizetype checkedLength(qsizetype n) const;

    // Timer callbacks registered by setInterval / setTimeout.
    struct Interval {
        int id = 0;
        Value fn;
        Value self;
        QString method;
        std::vector<Value> args;
        std::int64_t periodMs = 0;
        std::int64_t nextMs = 0;
        bool once = false;
    };
    std::vector<Interval>& intervals() { return m_intervals; }
    // getTimer and intervals: the host's clock for the movie when it gives one (an export runs
    // on the movie's own time), else the time since this VM started.
    std::int64_t elapsedMs() const { return clock ? clock() : m_clock.elapsed(); }
    std::function<std::int64_t()> clock;
    // _url: where the movie was loaded from.
    QString movieUrl = QStringLiteral("file:///movie.swf");

    // State the host keeps current for scripts.
    QPointF mouse;                  // stage pixels
    QHash<int, bool> keysDown;      // by key code
    int lastKey = 0, lastAscii = 0; // Key.getCode / getAscii
    bool quitRequested = false;
    // Timeline actions a goto queued; the host runs them after the current block.
    std::vector<std::pair<MovieClip*, std::span<const std::uint8_t>>> queued;
    std::function<void()> takePending; // collects the Player's pending actions after a goto
    std::function<void()> runPending;  // and runs them (a loaded movie's first frame)
    // A clip now shows another movie: its load event is due again.
    std::function<void(MovieClip*)> clipReloaded;
    MovieClip* dragClip = nullptr;
    bool dragLockCenter = false;
    QPointF dragOffset;
    std::optional<QRectF> dragBounds;
    std::vector<Object*> keyListeners, mouseListeners;

    // Objects the host wants kept (e.g. registered classes).
    std::vector<Object*> roots;
    QHash<QString, Object*> registeredClasses; // by export name, Object.registerClass

private:
    friend class Interpreter;
    friend struct Builtins;
    friend struct ClipApi;

    template <typename F> void guarded(F&& work);
    void installBuiltins();
    void installClipApi();
    void installTextField();
    void installSelection();

    Player* m_player;
    std::unique_ptr<ScriptSounds> m_sounds;
    std::unique_ptr<ScriptFiles> m_files;
    std::uint8_t m_version;
    Limits m_limits;
    Heap m_heap;
    Object* m_global = nullptr;
    Object* m_objectProto = nullptr;
    Object* m_functionProto = nullptr;
    Object* m_arrayProto = nullptr;
    Object* m_clipProto = nullptr;
    Object* m_stringProto = nullptr;
    Object* m_numberProto = nullptr;
    Object* m_booleanProto = nullptr;
    Object* m_dateProto = nullptr;
    Object* m_errorProto = nullptr;
    std::vector<Value> m_globalRegisters;
    QHash<MovieClip*, Object*> m_clipObjects;
    QHash<DisplayObject*, Object*> m_textObjects;
    Object* m_textFieldProto = nullptr;
    std::vector<Interval> m_intervals;
    QElapsedTimer m_clock;
    QElapsedTimer m_budget;
    std::size_t m_depth = 0; // nested calls
    std::uint64_t m_steps = 0;
    bool m_exhausted = false;
    friend Value getClipProperty(VM&, MovieClip*, int);

public:
    int nextIntervalId = 1;
    std::vector<Value> stack;
    std::vector<QString> stackNames; // variable a value came from, for warnings
    std::size_t depth() const { return m_depth; }
    void enter();
    void leave() { --m_depth; }
    Object* stringProto() const { return m_stringProto; }
    Object* numberProto() const { return m_numberProto; }
    Object* booleanProto() const { return m_booleanProto; }
    Object* errorProto() const { return m_errorProto; }
};

// addListener (`add`) or removeListener on a list of listener objects (Key, Mouse, Stage,
// Selection): true when given an object; the list holds each object once.
NativeFn listenerMethod(std::vector<Object*>& list, bool add);

// N for "_levelN" (any case; a bare "_level" is 0), else -1.
int levelNumber(const QString& name);

// TextField members that are not ordinary properties (text, _x, ...); false for the others.
bool getTextFieldMember(VM& vm, Object* field, const QString& name, Value& out);
bool setTextFieldMember(VM& vm, Object* field, const QString& name, const Value& v);

// An edit text with a variable shows its current value; one shown before the variable is set
// gives the variable its text.
void syncTextVariable(VM& vm, Object* field);

// Properties clips and text fields share; `clip` is null for a text field, `parent` the
// timeline that holds the object.
Value getDisplayProperty(VM& vm, DisplayObject* d, MovieClip* clip, MovieClip* parent, int index);
void setDisplayProperty(VM& vm, DisplayObject* d, MovieClip* clip, int index, const Value& v);

// Clip properties by index (GetProperty/SetProperty) and by name.
int clipPropertyIndex(const QString& name);
Value getClipProperty(VM& vm, MovieClip* clip, int index);
void setClipProperty(VM& vm, MovieClip* clip, int index, const Value& v);

} // namespace swf::avm1
